picture a.bmp
tilefit --backdrop 0D a.bmp
tilefit --backdrop 20 a.bmp
tilefit --backdrop 0x0F a.bmp
