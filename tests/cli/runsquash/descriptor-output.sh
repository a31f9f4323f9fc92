# An output named by a descriptor path is that descriptor: a regular file
# behind it is emptied, then written, never replaced. The counts follow,
# on the same file.
head -c 960 /dev/zero >in.nam
yes 'old content' | head -c 70000 >out
runsquash in.nam /dev/stdout >>out
status=$?
od -An -c out
exit $status
