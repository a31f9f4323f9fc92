tileshow /dev/zero -o o.png
