# The budget met, and the tiles fold with no warning from tilefold.
picture a.bmp
tilefit --max-tiles 8 a.bmp
tilecut a.fit.png && tilefold a.fit.chr
