head -c 64 /dev/urandom >a.chr
unchanged_by tilecut a.chr
