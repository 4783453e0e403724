#!/usr/bin/env bash
# Soak: the virtual camera as fast as it goes for N frames (default 100000) with the target
# chain, the pose, the character and the cone on, in a window (under Xvfb when there is no
# display). Reports frames per second and the resident memory early in the run and at its end.
# Usage: scripts/soak.sh [FRAMES] [KEYS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-100000}
keys=${2:-gsxkmn}
build=${TOVRAK_BUILD_DIR:-$root/build}
[ -x "$build/tovrak" ] || { bash "$root/scripts/install-deps.sh"; TOVRAK_BUILD_DIR=$build bash "$root/scripts/build.sh"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat >run.sh <<INNER
"$build/tovrak" --source synthetic:fps=0 --keys "$keys" --frames "$frames" >/dev/null 2>&1 &
pid=\$!
start=\$(date +%s.%N)
early=""
while kill -0 \$pid 2>/dev/null; do
  rss=\$(awk '/VmRSS/{print \$2}' /proc/\$pid/status 2>/dev/null || true)
  [ -n "\$rss" ] && last=\$rss
  now=\$(date +%s.%N)
  [ -z "\$early" ] && [ -n "\$rss" ] && awk -v a="\$start" -v b="\$now" 'BEGIN{exit !(b - a > 5)}' && early=\$rss
  sleep 1
done
wait \$pid || true
end=\$(date +%s.%N)
echo "\$start \$end \${early:-\$last} \$last"
INNER
if [ -n "${DISPLAY:-}" ]; then result=$(bash run.sh); else result=$(xvfb-run -a -s "-screen 0 800x600x24" bash run.sh); fi
read -r start end early last <<<"$result"
awk -v f="$frames" -v a="$start" -v b="$end" -v e="$early" -v l="$last" -v k="$keys" 'BEGIN{
  printf "%d frames, keys %s: %.1f s, %.0f frames/s; resident memory %.1f MiB after 5 s, %.1f MiB at the end\n",
         f, k, b - a, f / (b - a), e / 1024, l / 1024 }'
