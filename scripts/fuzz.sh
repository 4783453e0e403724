#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (AddressSanitizer and UndefinedBehavior-
# Sanitizer on), and the program and tools beside them so that clang builds the whole project,
# and runs each target for SECONDS (default 30), from seed corpora our own tools make.
# New inputs that find new paths go to build-fuzz/corpus/<target>; a crash stops that target,
# leaves its input in build-fuzz/crashes/ and makes the script fail.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(bitmap md2 reference_points camera_file png image_file command_line mesh_file palette model_import model_result page_model)
bash "$root/scripts/install-deps.sh"
build=${TOVRAK_FUZZ_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRAK_FUZZ=ON \
  -DTOVRAK_WERROR=ON -DBUILD_TESTING=OFF -DTOVRAK_BENCH=OFF -DTOVRAK_LIBRARY=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# Seeds: the files our tools ship, pictures we made, and command lines from the README.
seeds=$build/seeds
mkdir -p "$seeds"/{bitmap,md2,reference_points,camera_file,png,image_file,command_line,mesh_file,palette,model_import,model_result,page_model} "$build/crashes"
cp "$build/OGRO.bmp" "$seeds/bitmap/"
cp "$build/Ogros.md2" "$seeds/md2/"
cp "$build/pontos1.txt" "$seeds/reference_points/"
printf '%%YAML:1.0\nimage_width: 640\nimage_height: 480\ncamera_matrix: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n   data: [ 600., 0., 320., 0., 600., 240., 0., 0., 1. ]\ndistortion_coefficients: !!opencv-matrix\n   rows: 1\n   cols: 5\n   dt: d\n   data: [ -0.2, 0.05, 0.001, 0., 0. ]\n' > "$seeds/camera_file/camera.yaml"
cp "$root/docs/screenshot.png" "$seeds/png/"
"$build/tools/make_pictures" "$seeds/image_file"
printf 'N 0 0 1\nC 1 0 0 1\nT0 0 0\nV 0 0 0\nT0 1 0\nV 1 0 0\nV 0 1 0\nV 1 1 0\n--\nT 0 1 2\n--\nS 4 0 1 2 3\n' >"$seeds/mesh_file/quad.msh"
printf '3\n0 0 0 255\n255 0 0 128\n0 0 255 255\n' >"$seeds/palette/three.pal"
printf -- '--source\0synthetic:size=640x480,noise=2,lens=1\0--keys\0gsxk\0--frames\0100' >"$seeds/command_line/synthetic"
printf -- '--source\0clip.mkv\0--loop\0--record\0out.mp4\0--poses\0p.csv\0-display\0:1' >"$seeds/command_line/file"
printf -- '--device\0002\0--size\0640x480\0--list-devices' >"$seeds/command_line/webcam"
# Model files of our corpus, each behind the byte that gives it its extension back.
"$build/tools/make_models" "$build/model_corpus" >/dev/null
seed_model() { { printf "\\$(printf '%03o' "$2")"; cat "$1"; } >"$seeds/model_import/$(basename "$1")"; }
seed_model "$build/model_corpus/tower.glb" 5
seed_model "$build/model_corpus/tower.3ds" 6
seed_model "$build/model_corpus/colours.ply" 1
seed_model "$build/model_corpus/tower.stl" 3
seed_model "$build/model_corpus/crate/crate.obj" 0
printf '\002OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' >"$seeds/model_import/triangle.off"
# The page's reader: a glTF binary (0), an OBJ (2).
{ printf '\000'; cat "$build/model_corpus/tower.glb"; } >"$seeds/page_model/tower.glb"
{ printf '\002'; cat "$build/model_corpus/crate/crate.obj"; } >"$seeds/page_model/crate.obj"
# The importer's results for three corpus models (the bytes after 'M' and its 8-byte length).
for m in tower.glb colours.ply crate/crate.obj; do
  "$build/tovrak-import" --result-fd 1 "$build/model_corpus/$m" | tail -c +10 >"$seeds/model_result/$(basename "$m").result"
done

status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  mkdir -p "$corpus"
  log=$build/fuzz_$t.log
  if "$build/fuzz/fuzz_$t" "$corpus" "$seeds/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$build/crashes/${t}-" -print_final_stats=1 >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz_$t: clean after $runs executions in $seconds s"
  else
    echo "fuzz_$t: FAILED (see $log and $build/crashes/)"
    tail -30 "$log"
    status=1
  fi
done
exit $status
