mkfifo x.bmp
tilepal x.bmp
