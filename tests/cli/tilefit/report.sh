picture a.bmp
tilefit a.bmp && test -s a.fit.png
