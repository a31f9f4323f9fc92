head -c 64 /dev/zero >in.chr
ln -s /dev/full out.chr
tilefold in.chr
