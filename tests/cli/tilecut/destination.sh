picture a.bmp
mkdir a.chr
tilecut a.bmp
