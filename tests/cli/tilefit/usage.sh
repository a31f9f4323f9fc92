tilefit
