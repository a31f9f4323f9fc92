tilepal /dev/zero
