needs_file /proc/cpuinfo
tilefold /proc/cpuinfo
