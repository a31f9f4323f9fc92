needs_file /sys/kernel/mm/transparent_hugepage/enabled
runsquash /sys/kernel/mm/transparent_hugepage/enabled out.rlz
