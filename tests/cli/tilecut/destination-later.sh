# The pictures before the one whose output cannot be opened are written.
bmp8 a.bmp 8 8 1
bmp8 b.bmp 8 8 1
mkdir b.chr
tilecut a.bmp b.bmp a.bmp
status=$?
wc -c a.chr
exit $status
