tiles 20 >out.chr
hex 01 02 03 >out.nam
ln -s out.nam sym.nam
unchanged_by tilefold sym.nam
