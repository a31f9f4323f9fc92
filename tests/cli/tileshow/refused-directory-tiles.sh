tileshow_files
unchanged_by tileshow d.chr -o o.png
