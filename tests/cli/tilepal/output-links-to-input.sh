picture a.bmp
ln -s a.bmp a.pal
unchanged_by tilepal a.bmp
