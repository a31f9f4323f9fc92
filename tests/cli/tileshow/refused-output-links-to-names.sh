tileshow_files
unchanged_by tileshow t.chr n960.nam -o nam-link.png
