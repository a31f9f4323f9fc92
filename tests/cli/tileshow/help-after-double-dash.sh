tileshow_files
unchanged_by tileshow t.chr -- --help
