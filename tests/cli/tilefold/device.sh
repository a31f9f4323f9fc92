tilefold /dev/zero
