head -c 32 /dev/zero | tr '\0' '\1' >in.chr
tilefold missing.chr
status=$?
listing
exit $status
