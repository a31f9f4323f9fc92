head -c 960 /dev/urandom >in.nam
ln -s in.nam soft.nam
unchanged_by runsquash in.nam soft.nam
