head -c 600 "$CLI_EXAMPLES/title.bmp" >m.bmp
tilepal m.bmp
