# Area (16, 0) takes palette 2 from (20, 1), then meets 3; index 4 before
# them shows the backdrop. Area (32, 16) has 0 then 1, with index 8 between.
bmp8 mixed.bmp 48 32
dot mixed.bmp 18 0 4 20 1 9 30 2 10 17 5 14 19 6 5 0 20 7 40 16 3 33 20 8 47 31 6
unchanged_by tilepal mixed.bmp
