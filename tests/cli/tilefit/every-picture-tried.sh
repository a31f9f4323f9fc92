picture a.bmp
tilefit missing.png a.bmp
