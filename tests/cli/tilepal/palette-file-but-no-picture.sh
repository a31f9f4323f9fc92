tilepal --nes-palette a.bmp
status=$?
listing
exit $status
