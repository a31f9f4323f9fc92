tileshow_files
unchanged_by tileshow t.chr n960.nam -p p.pal -a a64.atr -o full.png
