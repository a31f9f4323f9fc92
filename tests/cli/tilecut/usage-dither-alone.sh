tilecut -d
status=$?
listing
exit $status
