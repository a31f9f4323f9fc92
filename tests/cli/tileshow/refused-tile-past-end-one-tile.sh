tileshow_files
unchanged_by tileshow one.chr n960.nam -o o.png
