cp "$CLI_SOURCE/tests/intake/regressions/refused-bmp-height-2130706451.bmp" h.bmp
tilecut h.bmp
