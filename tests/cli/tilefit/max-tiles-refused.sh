picture a.bmp
tilefit --max-tiles 0 a.bmp
tilefit --max-tiles 257 a.bmp
tilefit --max-tiles 12x a.bmp
