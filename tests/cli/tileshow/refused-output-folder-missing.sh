tileshow_files
unchanged_by tileshow t.chr -o nowhere/o.png
