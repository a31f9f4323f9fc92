screen
mkdir o.png
tileshow out.chr out.nam -o o.png
