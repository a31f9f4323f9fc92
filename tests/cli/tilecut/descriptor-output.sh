# An output that leads to an open descriptor (here through a link to
# /dev/stdout) is that descriptor: a regular file behind it is emptied,
# then written, never replaced.
picture t.bmp
plain tilecut t.bmp
mv t.chr want.chr
yes 'old content' | head -c 70000 >out
ln -s /dev/stdout t.chr
tilecut t.bmp >>out
status=$?
cmp out want.chr && echo "out holds the tiles alone"
exit $status
