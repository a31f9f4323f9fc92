bmp8 a.bmp 8 8
head -c 191 /dev/zero >short.pal
unchanged_by tilepal --nes-palette short.pal a.bmp
