hex 05 05 05 05 >in.nam
runsquash in.nam out.rlz x y
status=$?
od -An -tx1 out.rlz
listing
exit $status
