screen
unchanged_by tileshow out.chr out.nam -o out.nam
