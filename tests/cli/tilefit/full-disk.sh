needs_file /dev/full
picture a.bmp
tilefit -o /dev/full a.bmp
