: >in.nam
runsquash in.nam /dev/full
