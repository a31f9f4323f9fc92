# An output named by a descriptor path is that descriptor: a regular file
# behind it is emptied, then written, never replaced.
tileshow_files
plain tileshow t.chr n40.nam -o want.png
yes 'old content' | head -c 70000 >out
tileshow t.chr n40.nam -o /dev/stdout >>out
status=$?
cmp out want.png && echo "out holds the picture alone"
exit $status
