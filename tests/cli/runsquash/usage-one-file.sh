hex 01 02 >in.nam
runsquash in.nam
status=$?
listing
exit $status
