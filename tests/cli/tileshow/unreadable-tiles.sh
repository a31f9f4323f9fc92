tileshow_files
cp t.chr u.chr
chmod 000 u.chr
unchanged_by as_user tileshow u.chr -o o.png
