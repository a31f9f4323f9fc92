screen
ln -s /dev/full o.png
tileshow out.chr out.nam -p s.pal -o o.png
