: >e.bmp
tilecut e.bmp
