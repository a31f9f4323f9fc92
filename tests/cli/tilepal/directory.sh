# What the intake refuses, tilepal refuses with one message.
mkdir d.bmp
tilepal d.bmp
