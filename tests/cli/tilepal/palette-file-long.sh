bmp8 a.bmp 8 8
head -c 193 /dev/zero >long.pal
unchanged_by tilepal --nes-palette long.pal a.bmp
