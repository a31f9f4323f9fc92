picture a.bmp
hex "0f 21 30 31 00 17 07 26 00 01 27 37 00 19 0a 29" >a.pal
tilefit --palettes a.pal a.bmp
