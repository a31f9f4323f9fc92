# The title screen: four colours of palette 0, so it passes quietly.
picture a.bmp
tilepal a.bmp
status=$?
stat -c '%n %s' a.pal a.atr
exit $status
