mkdir d.chr
tileshow d.chr -o o.png
