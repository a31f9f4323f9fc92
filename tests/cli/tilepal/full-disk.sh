picture a.bmp
ln -s /dev/full a.atr
tilepal a.bmp
status=$?
listing
exit $status
