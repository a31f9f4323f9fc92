tileshow_files
unchanged_by tileshow t.chr n40.nam
