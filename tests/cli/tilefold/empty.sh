: >e.chr
tilefold e.chr
