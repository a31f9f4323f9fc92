# Small output fails only when it is flushed at close.
head -c 10 /dev/urandom >in.nam
runsquash in.nam /dev/full
