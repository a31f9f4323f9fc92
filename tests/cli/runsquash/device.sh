runsquash /dev/zero out.rlz
status=$?
listing
exit $status
