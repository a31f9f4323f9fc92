tiles 20 >out.chr
hex 01 02 03 >out.nam
ln out.chr link.chr
unchanged_by tilefold link.chr
