head -c 960 /dev/zero >in.nam
printf 'old content\n' >out
exec 5>>out
runsquash in.nam /dev/fd/5
status=$?
exec 5>&-
od -An -tx1 out
exit $status
