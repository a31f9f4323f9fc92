mkdir d.bmp
tilecut d.bmp
