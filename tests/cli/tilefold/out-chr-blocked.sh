head -c 32 /dev/zero | tr '\0' '\1' >in.chr
mkdir out.chr
tilefold in.chr
status=$?
listing
exit $status
