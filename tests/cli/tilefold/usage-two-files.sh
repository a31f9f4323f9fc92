tilefold a.chr b.chr
status=$?
listing
exit $status
