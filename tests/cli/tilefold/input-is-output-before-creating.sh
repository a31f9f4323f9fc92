# The refusal comes before out.chr is created.
hex 01 02 03 >out.nam
unchanged_by tilefold out.nam
