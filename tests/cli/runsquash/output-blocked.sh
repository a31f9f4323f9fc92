: >in.nam
mkdir out.rlz
runsquash in.nam out.rlz
