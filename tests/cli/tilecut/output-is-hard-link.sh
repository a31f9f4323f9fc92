picture pic.bmp
ln pic.bmp pic.chr
unchanged_by tilecut pic.bmp
