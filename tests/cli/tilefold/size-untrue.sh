needs_file /sys/kernel/mm/transparent_hugepage/enabled
tilefold /sys/kernel/mm/transparent_hugepage/enabled
