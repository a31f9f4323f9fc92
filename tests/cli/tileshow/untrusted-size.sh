needs_file /proc/cpuinfo
tileshow /proc/cpuinfo -o o.png
