bmp8 a.bmp 8 8
mkdir dir.pal
unchanged_by tilepal --nes-palette dir.pal a.bmp
