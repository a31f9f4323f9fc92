: >in.chr
mkdir out.nam
tilefold in.chr
status=$?
listing
exit $status
