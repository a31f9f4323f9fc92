tileshow_files
unchanged_by tileshow t.chr -p p15.pal -o o.png
