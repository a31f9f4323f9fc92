tileshow_files
unchanged_by tileshow t.chr -a one.atr -o o.png
