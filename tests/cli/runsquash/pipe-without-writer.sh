mkfifo p
runsquash p out.rlz
