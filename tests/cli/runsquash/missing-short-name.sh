runsquash none.nam out.rlz
