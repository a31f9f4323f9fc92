tiles 257 >big.chr
tilefold big.chr
