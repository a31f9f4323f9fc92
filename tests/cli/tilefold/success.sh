picture t.bmp
plain tilecut t.bmp
tilefold t.chr
