picture a.bmp
picture b.bmp
tilefit -o out.png a.bmp b.bmp
