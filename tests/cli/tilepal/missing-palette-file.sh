tilepal a.bmp --nes-palette
status=$?
listing
exit $status
