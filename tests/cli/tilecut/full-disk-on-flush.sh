# A few tiles fail only when they are flushed.
bmp8 a.bmp 64 16 1
ln -s /dev/full a.chr
tilecut a.bmp
