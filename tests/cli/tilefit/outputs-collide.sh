# a.png and a.bmp would both be fitted to a.fit.png: nothing is fitted.
picture a.bmp
tilefit -q -o a.png a.bmp
tilefit --share a.png a.bmp
status=$?
test ! -e a.fit.png && exit $status
