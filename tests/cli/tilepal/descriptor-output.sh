# An output that leads to an open descriptor (here through a link to
# /dev/stdout) is that descriptor: a regular file behind it is emptied,
# then written, never replaced.
picture t.bmp
plain tilepal t.bmp
mv t.pal want.pal
yes 'old content' | head -c 70000 >out
ln -s /dev/stdout t.pal
tilepal t.bmp >>out
status=$?
cmp out want.pal && echo "out holds the palette alone"
exit $status
