tilefold
status=$?
listing
exit $status
