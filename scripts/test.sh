#!/usr/bin/env bash
# Sets up, builds with warnings as errors, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake --preset dev -S "$root" >/dev/null
cmake --build "$root/build/dev" -j"$(nproc)"
ctest --test-dir "$root/build/dev" --output-on-failure -j"$(nproc)"
