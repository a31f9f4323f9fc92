head -c 960 /dev/urandom >in.nam
unchanged_by runsquash missing.nam out.rlz
