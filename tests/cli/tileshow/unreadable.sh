head -c 64 /dev/zero >u.chr
chmod 000 u.chr
as_user tileshow u.chr -o o.png
