# The title screen's first pixel in the file, (0, 239), turned to index 5
# and its last, (255, 239), to index 9 give two areas of two palettes.
picture c.bmp
printf '\5' | dd of=c.bmp bs=1 seek=1078 conv=notrunc 2>/dev/null
printf '\11' | dd of=c.bmp bs=1 seek=1333 conv=notrunc 2>/dev/null
tilepal c.bmp
