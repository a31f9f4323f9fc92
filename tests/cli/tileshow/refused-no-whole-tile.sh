tileshow_files
unchanged_by tileshow short.chr -o o.png
