head -c $((16 << 20)) /dev/zero >h.chr
tilefold h.chr
status=$?
stat -c '%n %s' out.nam
exit $status
