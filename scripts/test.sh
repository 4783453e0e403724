#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Tovrak and runs every test: once on the release
# build (with the library installed and used as its users would, the Python module, and the page
# in a browser), then
# once more built with AddressSanitizer and UndefinedBehaviorSanitizer, so that every read of a
# damaged file and every image step is checked for out-of-bounds access.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

build=${TOVRAK_BUILD_DIR:-$root/build}
TOVRAK_BUILD_DIR=$build bash "$root/scripts/build.sh" -DTOVRAK_WERROR=ON -DTOVRAK_PYTHON=ON -DPYTHON_EXECUTABLE=/usr/bin/python3
(cd "$build" && ctest --output-on-failure -j "$(nproc)")
# The library installed and used as its users would: CMake and pkg-config, the examples, pip.
bash "$root/scripts/test-library.sh" "$build"

# The page: built with Emscripten and run in Debian's Chromium against the program built above.
if [ "${TOVRAK_SKIP_WEB:-0}" != 1 ]; then
  TOVRAK_BUILD_DIR=$build bash "$root/scripts/test-web.sh"
fi

# A short fuzzing run of every reader of untrusted input (scripts/fuzz.sh runs longer ones).
if [ "${TOVRAK_SKIP_FUZZ:-0}" != 1 ] && command -v clang++ >/dev/null; then
  TOVRAK_FUZZ_DIR=${build}-fuzz bash "$root/scripts/fuzz.sh" "${TOVRAK_FUZZ_SECONDS:-20}"
fi

if [ "${TOVRAK_SKIP_SANITIZE:-0}" != 1 ]; then
  asan=${build}-asan
  TOVRAK_BUILD_DIR=$asan TOVRAK_BUILD_TYPE=RelWithDebInfo bash "$root/scripts/build.sh" -DTOVRAK_SANITIZE=ON -DTOVRAK_BENCH=OFF -DTOVRAK_WERROR=ON
  (cd "$asan" && ctest --output-on-failure -j "$(nproc)")
fi
