mkfifo x.bmp
tilecut x.bmp
