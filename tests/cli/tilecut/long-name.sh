long=$(printf 'd%.0s' {1..250})
dir="$long/$long/$long/$long/$long"
mkdir -p "$dir"
picture "$dir/a.bmp"
tilecut "$dir/a.bmp"
