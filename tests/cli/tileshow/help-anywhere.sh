# Help wins over anything else on the line, up to a "--".
tileshow_files
unchanged_by tileshow t.chr -x -h
