#!/usr/bin/env bash
# Configures and builds Tovrak into build/ (or $TOVRAK_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRAK_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${TOVRAK_BUILD_TYPE:-Release} "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
