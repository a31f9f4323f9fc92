tileshow_files
unchanged_by tileshow t.chr n40.nam n25.nam -o o.png
