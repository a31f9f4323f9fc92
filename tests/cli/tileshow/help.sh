tileshow --help
