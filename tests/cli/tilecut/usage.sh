tilecut
status=$?
listing
exit $status
