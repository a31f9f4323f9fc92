tilepal --help
status=$?
listing
exit $status
