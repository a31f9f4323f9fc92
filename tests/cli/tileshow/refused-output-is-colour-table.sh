tileshow_files
unchanged_by tileshow t.chr --nes-palette colours.pal -o colours.pal
