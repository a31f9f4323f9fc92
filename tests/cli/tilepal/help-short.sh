tilepal -h
