tileshow_files
unchanged_by tileshow -o o.png
