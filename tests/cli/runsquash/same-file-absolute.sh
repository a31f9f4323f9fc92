head -c 960 /dev/urandom >in.nam
unchanged_by runsquash in.nam "$PWD/in.nam"
