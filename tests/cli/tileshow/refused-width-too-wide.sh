tileshow_files
unchanged_by tileshow -w 2049 t.chr -o o.png
