# A failed run creates nothing: not even the out.chr it could open.
head -c 32 /dev/zero | tr '\0' '\1' >in.chr
mkdir out.nam
tilefold in.chr
status=$?
listing
exit $status
