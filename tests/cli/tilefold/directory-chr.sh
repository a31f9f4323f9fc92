mkdir d.chr
tilefold d.chr
