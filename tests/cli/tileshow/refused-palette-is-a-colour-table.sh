tileshow_files
unchanged_by tileshow t.chr -p p192.pal -o o.png
