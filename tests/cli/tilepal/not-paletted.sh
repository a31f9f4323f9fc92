printf '\0\0\3\0\0\0\0\0\0\0\0\0\1\0\1\0\10\0\200' >g.tga
tilepal g.tga
