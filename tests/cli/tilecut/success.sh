picture a.bmp
gray g.bmp
tilecut a.bmp -d g.bmp
