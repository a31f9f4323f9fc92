tilepal - none.bmp
status=$?
listing
exit $status
