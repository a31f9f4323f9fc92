tiles 300 >big.chr
tilefold big.chr
