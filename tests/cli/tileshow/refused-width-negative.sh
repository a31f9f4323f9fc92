tileshow_files
unchanged_by tileshow -w -3 t.chr -o o.png
