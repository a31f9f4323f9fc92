: >e.chr
tileshow e.chr -o o.png
status=$?
listing
exit $status
