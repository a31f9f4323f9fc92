tilepal none.bmp
