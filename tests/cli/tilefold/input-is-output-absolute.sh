tiles 20 >out.chr
hex 01 02 03 >out.nam
unchanged_by tilefold "$PWD/out.chr"
