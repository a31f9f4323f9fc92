screen
{ head -c 9 s.pal; printf '\x40'; tail -c 6 s.pal; } >p.pal
tileshow out.chr out.nam -p p.pal -o o.png
status=$?
[[ -e o.png ]] && echo "o.png written"
exit $status
