head -c 64 /dev/zero >in.chr
ln -s /dev/full out.nam
tilefold in.chr
