mkdir d.nam
runsquash d.nam out.rlz
