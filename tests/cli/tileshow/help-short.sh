tileshow -h
