# Both files are replaced together or not at all.
bmp8 a.bmp 8 8
dot a.bmp 1 1 6
ln -s a.bmp a.pal
[[ -e a.pal || -L a.pal ]] || hex 0f 0f >a.pal
unchanged_by tilepal a.bmp
