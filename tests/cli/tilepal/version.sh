with_version tilepal --version
