picture a.bmp
head -c 100 /dev/zero >odd.pal
tilepal --nes-palette odd.pal a.bmp
