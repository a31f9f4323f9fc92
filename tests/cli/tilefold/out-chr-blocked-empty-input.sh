: >in.chr
mkdir out.chr
tilefold in.chr
