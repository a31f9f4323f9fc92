# One palette set for both, and one budget of tiles for them together.
picture a.bmp
gray b.bmp
tilefit --share --max-tiles 16 a.bmp b.bmp
tilepal a.fit.png b.fit.png && cmp a.fit.pal b.fit.pal
tilecut a.fit.png && tilecut b.fit.png && cat a.fit.chr b.fit.chr >all.chr && tilefold all.chr
