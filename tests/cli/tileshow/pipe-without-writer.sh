mkfifo p
tileshow p -o o.png
