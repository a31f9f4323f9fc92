tileshow_files
unchanged_by tileshow -w abc t.chr -o o.png
