head -c 70000 /dev/zero >big.nam
runsquash big.nam out.rlz
