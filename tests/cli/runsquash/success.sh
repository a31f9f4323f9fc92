head -c 960 /dev/zero >in.nam
runsquash in.nam out.rlz
