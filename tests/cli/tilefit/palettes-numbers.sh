picture a.bmp
hex "0f 21 30 31 ff 17 07 26 40 01 27 37 0d 19 0a 0d" >sync.pal
hex "0f 21 30 31 00 17 47 26 00 01 27 37 00 19 0a 29" >past.pal
tilefit --palettes sync.pal a.bmp
tilefit --palettes past.pal a.bmp
