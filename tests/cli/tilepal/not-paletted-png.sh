# 4x4, 8-bit gray.
hex 89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 00 04 00 00 00 04 08 00 00 00 00 \
    8c 9a c1 a2 00 00 00 1c 49 44 41 54 78 9c 63 60 60 e1 e0 61 10 10 91 90 61 50 50 d1 d0 \
    61 30 30 b1 b0 01 00 0c 44 01 e1 19 7b 1d ab 00 00 00 00 49 45 4e 44 ae 42 60 82 >gray.png
unchanged_by tilepal gray.png
