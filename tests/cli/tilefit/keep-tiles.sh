# The kept tiles take the first slots once the two sets are folded together.
bmp8 font.bmp 16 8 0
dot font.bmp 1 1 1 2 2 2 3 3 3 9 1 3
plain tilecut font.bmp
picture a.bmp
tilefit -q --max-tiles 12 --keep-tiles font.chr a.bmp
tilecut a.fit.png && cat font.chr a.fit.chr >all.chr && tilefold all.chr
cmp -n 32 font.chr out.chr
