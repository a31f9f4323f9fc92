head -c 32 /dev/zero | tr '\0' '\1' >in.chr
mkdir d
tilefold d
status=$?
listing
exit $status
