# The output goes beside the picture, and any extension becomes .chr.
mkdir art
bmp8 art/title.bmp 8 8 2
bmp8 LOUD.BMP 8 8 3
tilecut art/title.bmp LOUD.BMP
status=$?
listing
exit $status
