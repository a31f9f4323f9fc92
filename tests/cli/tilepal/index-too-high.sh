bmp8 big.bmp 20 20
dot big.bmp 0 0 1 7 3 16 2 9 200
unchanged_by tilepal big.bmp
