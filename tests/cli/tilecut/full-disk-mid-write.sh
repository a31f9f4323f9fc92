# A row of tiles of 32 KiB fails in the middle of its writes.
bmp8 a.bmp 16384 16 1
ln -s /dev/full a.chr
tilecut a.bmp
