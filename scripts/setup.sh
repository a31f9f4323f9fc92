#!/usr/bin/env bash
# Installs whatever the build and the tests need and is not there yet.
# Works as root or as a user with sudo, on Debian 12.
set -euo pipefail

required=(g++ make cmake pkg-config liballegro4-dev libpng-dev libgtest-dev clang-format
          valgrind clang libclang-rt-14-dev libfuzzer-14-dev hyperfine time)
# Without these a part of the tests reports itself as skipped. The package
# tests build the .deb with CPack (dpkg-shlibdeps from dpkg-dev, and file,
# find its dependencies), check it with lintian, and render the manual pages
# with groff and mandoc.
optional=(cc65 dpkg-dev file lintian groff-base mandoc)
# The ROM test runs the emulator under node; any node 18 or later will do,
# so only a missing command is installed from Debian.
command -v node >/dev/null || optional+=(nodejs)
command -v npm >/dev/null || optional+=(npm)
root=$(cd "$(dirname "$0")/.." && pwd)

missing() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            echo "$pkg"
        fi
    done
}
mapfile -t need < <(missing "${required[@]}")
mapfile -t want < <(missing "${optional[@]}")

# The emulator and anything else tests/rom/package-lock.json pins, as the
# user who runs this (never through sudo, which would leave root's files in
# the tree). Reinstalled only when the lock file is newer than the install.
npm_packages() {
    local dir=$root/tests/rom
    if [[ -f $dir/node_modules/.package-lock.json &&
          ! $dir/package-lock.json -nt $dir/node_modules/.package-lock.json ]]; then
        return 0
    fi
    if ! command -v npm >/dev/null; then
        echo "setup: npm is not available; the ROM tests will be skipped" >&2
        return 0
    fi
    echo "setup: installing the npm packages in tests/rom" >&2
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
        echo "setup: npm ci failed in tests/rom; the ROM tests will be skipped" >&2
}

if ((${#need[@]} + ${#want[@]} == 0)); then
    npm_packages
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "setup: need root or sudo to install: ${need[*]} ${want[*]}" >&2
    exit 1
fi
install() {
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
"${sudo[@]}" apt-get update -qq
if ((${#need[@]} > 0)); then
    echo "setup: installing ${need[*]}" >&2
    install "${need[@]}"
fi
for pkg in "${want[@]}"; do
    echo "setup: installing $pkg" >&2
    install "$pkg" || echo "setup: $pkg is not available; the tests that need it will be skipped" >&2
done
npm_packages
