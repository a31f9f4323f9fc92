tileshow_files
unchanged_by tileshow t.chr -p p.pal -o ./p.pal
