tileshow_files
unchanged_by tileshow t.chr empty.nam -o o.png
