# Kept tiles that fill the budget leave no tile for a cell the edge cuts,
# which tilecut pads with colour 3.
bmp8 a.bmp 12 8 0
head -c 16 /dev/zero >blank.chr
tilefit --max-tiles 1 --keep-tiles blank.chr a.bmp
status=$?
test ! -e a.fit.png && exit $status
