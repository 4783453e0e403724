#!/usr/bin/env bash
# Sets up, builds and runs Tovrak on its virtual camera. With a display it opens the window
# (Esc quits). Without one it runs under Xvfb for a few seconds and writes a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
exe="${TOVRAK_BUILD_DIR:-$root/build}/tovrak"
keys=${TOVRAK_KEYS-gsxkm}
mkdir -p "$root/out"
cd "$root/out"
if [ -n "${DISPLAY:-}" ]; then
  exec "$exe" --source synthetic --keys "$keys" "$@"
fi
shot="$root/out/tovrak.png"
xvfb-run -a -s "-screen 0 800x600x24" "$exe" --source synthetic --keys "$keys" --frames 200 --screenshot "$shot" "$@"
echo "No display: ran 200 frames under Xvfb. Screenshot: $shot"
