# Both ends held open, so that the tool's open cannot block.
mkfifo pipe
exec 3<>pipe
tilefold pipe
status=$?
exec 3>&-
listing
exit $status
