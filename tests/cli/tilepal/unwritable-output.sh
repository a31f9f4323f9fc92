# a.pal's temporary file is open when a.atr fails, and must go.
picture a.bmp
mkdir a.atr
tilepal a.bmp
status=$?
listing
exit $status
