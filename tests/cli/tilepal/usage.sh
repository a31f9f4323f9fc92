tilepal
status=$?
listing
exit $status
