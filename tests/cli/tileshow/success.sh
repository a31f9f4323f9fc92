screen
head -c 64 /dev/urandom >s.atr
tileshow out.chr out.nam -p s.pal -a s.atr -o s.png
status=$?
head -c 8 s.png | od -An -c
exit $status
