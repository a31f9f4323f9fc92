tileshow_files
unchanged_by tileshow -x t.chr -o o.png
