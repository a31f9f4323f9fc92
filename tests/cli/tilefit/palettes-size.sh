picture a.bmp
hex "0f 21 30 31" >short.pal
tilefit --palettes short.pal a.bmp
