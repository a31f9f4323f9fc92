tileshow_files
unchanged_by tileshow t.chr none.nam -o o.png
