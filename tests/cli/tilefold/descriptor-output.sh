# An output that leads to an open descriptor (here through a link to
# /dev/stdout) is that descriptor: a regular file behind it is emptied,
# then written, never replaced.
tiles 200 >in.chr
plain tilefold in.chr
mv out.chr want.chr
yes 'old content' | head -c 70000 >out
ln -s /dev/stdout out.chr
tilefold in.chr >>out
status=$?
cmp out want.chr && echo "out holds the tiles alone"
exit $status
