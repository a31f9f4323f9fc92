screen
head -c 32 /dev/zero >s.atr
tileshow out.chr out.nam -p s.pal -a s.atr -o o.png
status=$?
[[ -e o.png ]] && echo "o.png written"
exit $status
