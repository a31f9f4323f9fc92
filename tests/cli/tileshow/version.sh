with_version tileshow --version
