tilecut nowhere/none.bmp
