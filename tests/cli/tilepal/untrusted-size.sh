needs_file /proc/cpuinfo
tilepal /proc/cpuinfo
