for i in 1 2 3 4 5 6 7 8 9 10; do tiles 300; done >in.chr
ln -s /dev/full out.chr
tilefold in.chr
