#!/usr/bin/env bash
# The page's tests: builds it (scripts/web.sh), makes the desktop program's reference run of the
# same frames, a webcam video and a model, and runs web/tests/page_test.mjs in Debian's Chromium.
# Needs the desktop build (scripts/build.sh) in build/ or $TOVRAK_BUILD_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${TOVRAK_BUILD_DIR:-$root/build}
web=${TOVRAK_WEB_BUILD_DIR:-$root/build-web}
bash "$root/scripts/web.sh" --build-only
work=$web/page-tests
mkdir -p "$work"
cp "$root/web/tests/package.json" "$root/web/tests/package-lock.json" "$root/web/tests/page_test.mjs" "$work/"
(cd "$work" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
# The window's run of the frames the page runs first: its poses and its screenshot.
xvfb-run -a "$native/tovrak" --source synthetic:start=40 --keys gsxkm --frames 60 \
  --poses "$work/desktop.csv" --screenshot "$work/desktop.png" >/dev/null 2>&1
view="tilt=35,azimuth=15,distance=450"
echo "$view" > "$work/fake-view.txt"
"$native/tools/make_fake_camera" "$work/fake.y4m" "$view" 30
cp "$native/corpus/tower.glb" "$work/"
node "$work/page_test.mjs" "$web/site" "$work"
