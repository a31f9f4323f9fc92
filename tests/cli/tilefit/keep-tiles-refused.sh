picture a.bmp
head -c 17 /dev/zero >odd.chr
head -c 48 /dev/zero >three.chr
tilefit --keep-tiles missing.chr a.bmp
tilefit --keep-tiles odd.chr a.bmp
tilefit --max-tiles 2 --keep-tiles three.chr a.bmp
