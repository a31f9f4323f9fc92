picture a.bmp
ln -s /dev/full a.chr
tilecut a.bmp
