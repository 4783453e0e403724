#!/usr/bin/env bash
# The chain with the pose, native and WebAssembly (Node), in one run on this machine, with the
# native BM_ChainWithPose beside them; prints the ratio a frame size. Needs both builds
# (scripts/build.sh, scripts/web.sh --build-only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${TOVRAK_BUILD_DIR:-$root/build}
web=${TOVRAK_WEB_BUILD_DIR:-$root/build-web}
"$native/bench/tovrak_bench" --benchmark_filter='BM_ChainWithPose/(320|640)/0' 2>/dev/null | grep BM_
"$native/bench/tovrak_chain_timing" > /tmp/tovrak-native.$$
# Node's own tiering (code starts in the baseline compiler and moves up as it runs hot), and the
# steady state with every function optimised from the start (--no-liftoff).
for mode in tiered optimised; do
  flags=""
  [ "$mode" = optimised ] && flags=--no-liftoff
  node $flags "$web/web/web_chain_timing.js" > /tmp/tovrak-wasm.$$
  paste /tmp/tovrak-native.$$ /tmp/tovrak-wasm.$$ | while read -r size native_us native_found _ wasm_us wasm_found; do
    echo "$size ($mode): native $native_us us, wasm $wasm_us us a frame (found $native_found / $wasm_found): wasm/native $(echo "scale=2; $wasm_us / $native_us" | bc)"
  done
done
rm -f /tmp/tovrak-native.$$ /tmp/tovrak-wasm.$$
