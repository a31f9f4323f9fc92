tilecut none.bmp
