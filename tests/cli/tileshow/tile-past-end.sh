head -c 2400 /dev/zero >t.chr
{ head -c 37 /dev/zero; printf '\226'; } >n.nam
tileshow t.chr n.nam -o o.png
status=$?
listing
exit $status
