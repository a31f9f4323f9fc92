tileshow_files
unchanged_by tileshow none.chr -o o.png
