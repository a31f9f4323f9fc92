picture a.bmp
tilefit --dither diffusion a.bmp
