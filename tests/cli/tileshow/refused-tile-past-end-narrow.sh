tileshow_files
unchanged_by tileshow -w 7 t.chr past.nam -o o.png
