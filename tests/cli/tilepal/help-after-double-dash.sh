# After "--" every argument is a picture.
tilepal -- --help
