#!/usr/bin/env bash
# Builds the page into build-web/ and serves build-web/site/ on http://localhost:8080.
#   bash scripts/web.sh               install what is missing, build, serve
#   bash scripts/web.sh --build-only  install and build, no server
#   bash scripts/web.sh --host        serve to the local network too (a phone on the same Wi-Fi)
# The page is static files: any web server can serve build-web/site/. Nothing leaves the browser.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRAK_WEB_BUILD_DIR:-$root/build-web}
serve=1
bind=127.0.0.1
for arg in "$@"; do
  case "$arg" in
    --build-only) serve=0 ;;
    --host) bind=0.0.0.0 ;;
    *) echo "Error: unknown option $arg (--build-only, --host)" >&2; exit 2 ;;
  esac
done
bash "$root/scripts/install-deps.sh" --web
# Emscripten's tools are Node programs that need Debian's acorn, wherever Node came from.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "The page is in $build/site ($(du -sh "$build/site" | cut -f1))."
if [ "$serve" = 1 ]; then
  echo "Serving it on http://localhost:8080 (Ctrl-C stops)"
  exec /usr/bin/python3 -m http.server 8080 --bind "$bind" --directory "$build/site"
fi
