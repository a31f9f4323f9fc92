tileshow_files
mkdir -m 555 ro
unchanged_by as_user tileshow t.chr -o ro/o.png
