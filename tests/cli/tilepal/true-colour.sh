# 4x4, 24 bits a pixel.
{ hex 00 00 02 00 00 00 00 00 00 00 00 00 04 00 04 00 18 00; head -c 48 /dev/urandom; } >rgb.tga
unchanged_by tilepal rgb.tga
