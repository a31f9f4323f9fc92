#!/usr/bin/env bash
# Installs whatever the build and the tests need and is not there yet.
# Works as root or as a user with sudo, on Debian 12.
set -euo pipefail

packages=(g++ make cmake pkg-config liballegro4-dev libpng-dev libgtest-dev
          cc65 valgrind clang libclang-rt-14-dev libfuzzer-14-dev hyperfine time)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "setup: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
