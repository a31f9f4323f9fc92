# One run reports every picture that needs fixing and writes all the others.
bmp8 a.bmp 8 8
dot a.bmp 0 0 13
bmp8 b.bmp 8 8
dot b.bmp 0 0 17
bmp8 c.bmp 40 8
dot c.bmp 39 7 7
tilepal a.bmp b.bmp none.bmp c.bmp
status=$?
od -An -tx1 a.atr c.atr
listing
exit $status
