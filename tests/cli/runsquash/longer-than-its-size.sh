# /proc/self/cmdline says it is empty and is not; valgrind would hide that.
plain runsquash /proc/self/cmdline out.rlz
status=$?
listing
exit $status
