tileshow_files
unchanged_by tileshow t.chr n960.nam -p p.pal -a a63.atr -o o.png
