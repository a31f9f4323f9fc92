# The output name needs more than 1024 bytes: a truncated name would
# clobber some other file, so nothing may be written at all.
long=$(printf 'd%.0s' {1..200})
dir=$long/$long/$long/$long/$long/$long
mkdir -p "$dir"
bmp8 "$dir/pic.bmp" 8 8 1
tilecut "$dir/pic.bmp"
status=$?
find . -name '*.chr'
exit $status
