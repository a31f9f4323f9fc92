tileshow_files
unchanged_by tileshow t.chr -o d.chr
