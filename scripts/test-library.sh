#!/usr/bin/env bash
# The library as its users get it, from the build in $1 (default build/): installed, then found
# by a project of their own through CMake and through pkg-config (shared and static), the Python
# examples run on the virtual camera's frames, and the module installed with pip into a fresh
# virtual environment. Prints one line per check and "N passed, N failed" at the end.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
python=/usr/bin/python3  # Debian's, with its numpy and OpenCV
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...: runs it, keeps its output in $work/NAME.log
    if "${@:2}" > "$work/$1.log" 2>&1; then
        passed=$((passed + 1)); echo "passed: $1"
    else
        failed=$((failed + 1)); echo "FAILED: $1"; tail -n 20 "$work/$1.log"
    fi
}

prefix=$work/prefix
check install cmake --install "$build" --prefix "$prefix"
check cmake-package sh -c "cmake -S '$root/examples/consumer' -B '$work/consumer' -DCMAKE_PREFIX_PATH='$prefix' &&
    cmake --build '$work/consumer' && '$work/consumer/consumer_shared' && '$work/consumer/consumer_static'"
libdir=$(dirname "$(find "$prefix" -name libtovrak.so | head -n 1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
check pkg-config-shared sh -c "g++ -std=c++17 '$root/examples/consumer/consumer.cpp' -o '$work/pc_shared' \
    \$(pkg-config --cflags --libs tovrak) -Wl,-rpath,'$libdir' && '$work/pc_shared'"
check pkg-config-static sh -c "g++ -std=c++17 '$root/examples/consumer/consumer.cpp' -o '$work/pc_static' \
    \$(pkg-config --cflags --libs tovrak-static) && '$work/pc_static'"

# The Python examples on videos of the virtual camera (an ideal lens, and a lens to calibrate).
export PYTHONPATH=$build/python
check python-videos "$python" - "$work" <<'PY'
import sys, cv2, tovrak
for name, options in (("path.avi", "noise=2"), ("lens.avi", "size=640x480,fx=600,fy=600,k1=-0.21,noise=1")):
    camera = tovrak.VirtualCamera(options)
    first = camera.frame(0)
    out = cv2.VideoWriter(f"{sys.argv[1]}/{name}", cv2.VideoWriter_fourcc(*"FFV1"), 30, (first.shape[1], first.shape[0]))
    for n in range(0, 480, 4 if name == "lens.avi" else 1):
        out.write(camera.frame(n))
    out.release()
PY
check example-track-webcam sh -c "'$python' '$root/examples/track_webcam.py' '$work/path.avi' --frames 90 --no-window > '$work/poses.txt' &&
    test \$(wc -l < '$work/poses.txt') -ge 85"
check example-calibrate sh -c "cd '$work' && '$python' '$root/examples/calibrate.py' lens.avi --out '$work/camera.yaml' &&
    grep -q camera_matrix '$work/camera.yaml'"
check example-track-video sh -c "'$build/examples/track_video' synthetic:noise=2 60 | grep -c ',1,' | grep -qx 60"
check pip-install sh -c "'$python' -m venv --system-site-packages '$work/venv' && cd '$work' &&
    '$work/venv/bin/pip' install --no-build-isolation --no-index '$root' && env -u PYTHONPATH '$work/venv/bin/python' -c 'import tovrak; tovrak.Tracker(tovrak.VirtualCamera().camera)'"

echo "library: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
