tileshow_files
unchanged_by tileshow t.chr --nes-palette p.pal -o o.png
