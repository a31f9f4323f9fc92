#!/usr/bin/env bash
# Builds the quality benchmark's corpus: real pictures that nobody here drew,
# taken from Debian packages and brought to one NES screen each (256x240,
# 8-bit RGB PNG) by the fixed recipe below, so that anyone can rebuild the
# same set. The pictures are never committed.
#
#   scripts/corpus.sh [DIR]      (default: build/corpus)
#
# DIR/pictures/NAME.png   the screens
# DIR/manifest.tsv        name, group, package, package version, source file, recipe
#
# A package already installed is read where it is; any other is fetched with
# apt-get download and unpacked under DIR/root, so the corpus needs no root
# rights except to install ImageMagick itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/corpus}

# name | group | package | file in the package | recipe
#   cover: scale (Lanczos) until 256x240 is covered, keep the centre;
#   crop:  the centre 256x240 at one picture pixel to one screen pixel, for
#          tile sheets and pixel art whose pixels resampling would smear.
# A group is a set of screens from one game's art, to be fitted together.
skimage=/usr/lib/python3/dist-packages/skimage/data
frozen=/usr/share/games/frozen-bubble/gfx
dink=/usr/share/games/dink/dink/Tiles
pingus=/usr/share/games/pingus/data/images
manifest=(
    "astronaut|photo|python3-skimage|$skimage/astronaut.png|cover"
    "chelsea|photo|python3-skimage|$skimage/chelsea.png|cover"
    "coffee|photo|python3-skimage|$skimage/coffee.png|cover"
    "hubble|photo|python3-skimage|$skimage/hubble_deep_field.jpg|cover"
    "ihc|photo|python3-skimage|$skimage/ihc.png|cover"
    "motorcycle|photo|python3-skimage|$skimage/motorcycle_left.png|cover"
    "retina|photo|python3-skimage|$skimage/retina.jpg|cover"
    "rocket|photo|python3-skimage|$skimage/rocket.jpg|cover"
    "camera|photo|python3-skimage|$skimage/camera.png|cover"
    "frozen-bubble-1|frozen-bubble|frozen-bubble-data|$frozen/back_one_player.png|cover"
    "frozen-bubble-2|frozen-bubble|frozen-bubble-data|$frozen/back_multiplayer.png|cover"
    "frozen-bubble-3|frozen-bubble|frozen-bubble-data|$frozen/backgrnd.png|cover"
    "frozen-bubble-4|frozen-bubble|frozen-bubble-data|$frozen/back_hiscores.png|cover"
    "dink-1|dink|freedink-data|$dink/Ts02.bmp|crop"
    "dink-2|dink|freedink-data|$dink/Ts06.bmp|crop"
    "dink-3|dink|freedink-data|$dink/Ts08.bmp|crop"
    "dink-4|dink|freedink-data|$dink/Ts16.bmp|crop"
    "jungle-1|pingus|pingus-data|$pingus/textures/darkjungle.jpg|cover"
    "jungle-2|pingus|pingus-data|$pingus/textures/enchantedjungle.jpg|cover"
    "jungle-3|pingus|pingus-data|$pingus/textures/latejungle.jpg|cover"
    "jungle-4|pingus|pingus-data|$pingus/textures/nightjungle.jpg|cover"
    "pingus-map|-|pingus-data|$pingus/worldmaps/tutorial_layer0.jpg|cover"
    "pingus-industrial|-|pingus-data|$pingus/textures/industrial.jpg|cover"
    "dink-map|-|freedink-data|$dink/map1.bmp|cover"
    "tecnoballz-shop|-|tecnoballz-data|/usr/share/games/tecnoballz/lores/shop.png|crop"
    "tecnoballz-tiles|-|tecnoballz-data|/usr/share/games/tecnoballz/lores/tilesmap.png|crop"
    "ltris-menu|-|ltris|/usr/share/games/ltris/gfx/menuback.bmp|cover"
    "lbreakout2-back|-|lbreakout2-data|/usr/share/games/lbreakout2/gfx/AbsoluteB/back2.png|cover"
)

# Transparency is laid on black first, so that every screen is opaque and
# every method is judged on the same pixels.
recipe() {
    local mode=$1 src=$2 dst=$3
    local fit=()
    [[ $mode == cover ]] && fit=(-filter Lanczos -resize '256x240^')
    "$convert" -quiet "$src[0]" -background black -alpha remove -alpha off -colorspace sRGB \
        "${fit[@]}" -gravity center -extent 256x240 +repage -strip -depth 8 \
        -define png:color-type=2 -define png:bit-depth=8 "PNG24:$dst"
}

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
else
    sudo=(sudo)
fi
# The exact ImageMagick build, not whatever "convert" comes first on PATH.
convert=/usr/bin/convert-im6.q16
if [[ ! -x $convert ]]; then
    echo "corpus: installing imagemagick" >&2
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

mkdir -p "$out/debs" "$out/root"
rm -rf "$out/pictures" "$out/manifest.tsv.new"
mkdir -p "$out/pictures"
declare -A prefix version
updated=0
for row in "${manifest[@]}"; do
    IFS='|' read -r _ _ package _ _ <<<"$row"
    [[ -n ${prefix[$package]:-} ]] && continue
    if installed "$package"; then
        prefix[$package]=""
        version[$package]=$(dpkg-query -W -f='${Version}' "$package")
        continue
    fi
    deb=$(ls "$out/debs/${package}"_*.deb 2>/dev/null | head -n 1 || true)
    if [[ -z $deb ]]; then
        echo "corpus: fetching $package" >&2
        if ! (cd "$out/debs" && apt-get download -q "$package" >/dev/null 2>&1); then
            if ((updated == 0)); then
                "${sudo[@]}" apt-get update -qq
                updated=1
            fi
            (cd "$out/debs" && apt-get download -q "$package" >/dev/null 2>&1) || {
                echo "corpus: apt-get download $package failed" >&2
                exit 1
            }
        fi
        deb=$(ls "$out/debs/${package}"_*.deb | head -n 1)
    fi
    if [[ ! -e $out/root/.$package ]]; then
        dpkg-deb -x "$deb" "$out/root"
        : >"$out/root/.$package"
    fi
    prefix[$package]="$out/root"
    version[$package]=$(dpkg-deb -f "$deb" Version)
done

printf 'name\tgroup\tpackage\tversion\tsource\trecipe\n' >"$out/manifest.tsv.new"
for row in "${manifest[@]}"; do
    IFS='|' read -r name group package file mode <<<"$row"
    src="${prefix[$package]}$file"
    if [[ ! -f $src ]]; then
        echo "corpus: $package holds no $file" >&2
        exit 1
    fi
    recipe "$mode" "$src" "$out/pictures/$name.png.tmp"
    mv "$out/pictures/$name.png.tmp" "$out/pictures/$name.png"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$group" "$package" "${version[$package]}" \
        "$file" "$mode" >>"$out/manifest.tsv.new"
done
mv "$out/manifest.tsv.new" "$out/manifest.tsv"
echo "corpus: ${#manifest[@]} pictures in $out/pictures"
