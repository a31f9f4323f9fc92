tileshow -q t.chr -o o.png
