picture u.bmp
chmod 000 u.bmp
as_user tilepal u.bmp
