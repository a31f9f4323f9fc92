head -c 64 /dev/zero >u.nam
chmod 000 u.nam
as_user runsquash u.nam out.rlz
