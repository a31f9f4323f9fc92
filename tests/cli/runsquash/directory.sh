head -c 960 /dev/urandom >in.nam
mkdir sub
unchanged_by runsquash sub out.rlz
