# Held open for writing, with data in it, so that the tool's open does not
# block.
head -c 960 /dev/urandom >in.nam
mkfifo fifo
exec 3<>fifo
printf abc >&3
unchanged_by runsquash fifo out.rlz
status=$?
exec 3>&-
exit $status
