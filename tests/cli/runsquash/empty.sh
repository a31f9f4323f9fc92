: >e.nam
runsquash e.nam out.rlz
