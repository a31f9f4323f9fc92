tileshow_files
unchanged_by tileshow t.chr -p high.pal -o o.png
