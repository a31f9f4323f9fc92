tilepal -x a.bmp
status=$?
listing
exit $status
