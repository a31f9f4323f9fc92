bmp8 a.bmp 8 8
unchanged_by tilepal --nes-palette none.pal a.bmp
