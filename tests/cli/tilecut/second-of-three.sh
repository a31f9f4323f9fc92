picture a.bmp
picture c.bmp
printf 'BM' >b.bmp
tilecut a.bmp b.bmp c.bmp
