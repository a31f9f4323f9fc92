# "-" and "-x" are ignored, and name no picture.
tilecut - -x -d
status=$?
listing
exit $status
