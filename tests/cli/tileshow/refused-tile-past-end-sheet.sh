tileshow_files
unchanged_by tileshow t.chr past.nam -o o.png
