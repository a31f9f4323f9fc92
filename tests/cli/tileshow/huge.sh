head -c 16 /dev/zero >h.chr
truncate -s $(((64 << 20) + 16)) h.chr
tileshow h.chr -o o.png
status=$?
listing
exit $status
