picture a.bmp
gray b.bmp
tilefit --share -o x.png a.bmp b.bmp
status=$?
test ! -e x.png && exit $status
