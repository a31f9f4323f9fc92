picture pic.bmp
ln -s pic.bmp pic.chr
unchanged_by tilecut pic.bmp
