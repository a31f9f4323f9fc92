# What came before the picture that fails is written; nothing after it.
bmp8 one.bmp 8 8 1
bmp8 three.bmp 8 8 3
hex 42 4d 00 01 >two.bmp
tilecut one.bmp two.bmp three.bmp
status=$?
wc -c one.chr
listing
exit $status
