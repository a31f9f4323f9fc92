picture a.bmp
tilefit -q --dither ordered --backdrop '$0F' a.bmp && test -s a.fit.png
