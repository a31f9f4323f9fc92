tilepal -x a.bmp --help
