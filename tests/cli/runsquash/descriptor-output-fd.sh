head -c 960 /dev/zero >in.nam
yes 'old content' | head -c 70000 >out
exec 5>>out
runsquash in.nam /dev/fd/5
status=$?
exec 5>&-
od -An -tx1 out
exit $status
