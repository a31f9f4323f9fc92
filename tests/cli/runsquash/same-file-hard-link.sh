head -c 960 /dev/urandom >in.nam
ln in.nam link.nam
unchanged_by runsquash in.nam link.nam
