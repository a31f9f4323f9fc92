truncate -s 1T huge.nam || skip "cannot make a 1 TiB sparse file here"
# A sanitized build would otherwise stop at the failed allocation, and
# notes it on a line of its own.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:allocator_may_return_null=1
runsquash huge.nam out.rlz 2>err
status=$?
sed '/^==[0-9]*==WARNING: AddressSanitizer failed to allocate/d' err >&2
rm err
listing
exit $status
