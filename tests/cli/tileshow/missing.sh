tileshow none.chr -o o.png
status=$?
listing
exit $status
