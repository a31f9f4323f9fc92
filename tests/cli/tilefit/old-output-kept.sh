picture a.bmp
echo old >a.fit.png
hex "0f 21" >short.pal
tilefit --palettes short.pal a.bmp
cat a.fit.png
