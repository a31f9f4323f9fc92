screen
tileshow -w 40 t.chr -o sheet.png
