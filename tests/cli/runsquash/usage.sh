hex 01 02 >in.nam
runsquash
status=$?
listing
exit $status
