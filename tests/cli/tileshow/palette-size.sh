screen
head -c 15 s.pal >p.pal
tileshow out.chr out.nam -p p.pal -o o.png
status=$?
[[ -e o.png ]] && echo "o.png written"
exit $status
