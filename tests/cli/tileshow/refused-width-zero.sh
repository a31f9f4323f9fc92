tileshow_files
unchanged_by tileshow -w 0 t.chr -o o.png
