# Large output fails in the middle of the packets.
head -c 300000 /dev/urandom >in.nam
runsquash in.nam /dev/full
