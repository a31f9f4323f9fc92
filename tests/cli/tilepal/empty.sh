: >e.bmp
tilepal e.bmp
