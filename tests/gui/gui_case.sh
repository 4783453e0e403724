#!/usr/bin/env bash
# One check of the real program in a virtual X server: screenshots, a real Esc key, and its
# answers on the console. Each case is a CTest test of its own, so a failure names itself.
# Usage: TOVRAK=path/to/tovrak CHECK=path/to/check_screenshot COUNT_FRAMES=path/to/count_frames
#        gui_case.sh CASE OUTDIR
set -uo pipefail
case_name=${1:?case}
# A folder of the case's own, so that suites run side by side never share one; kept when the
# case fails, for its screenshots and logs.
mkdir -p "${2:?output directory}" && out=$(mktemp -d "$2/$case_name.XXXXXX") && cd "$out" || exit 1

# One private X server for the case (tests/gui/virtual_x.sh), whatever else runs beside it.
. "$(dirname "$0")/virtual_x.sh"
start_virtual_x "$out" || exit 1
# Runs the program under Xvfb with the given options, writing shot.png; shows its log on failure.
shot() {
  "$TOVRAK" "$@" --screenshot shot.png >run.log 2>&1 || { cat run.log; return 1; }
}

case $case_name in
plain)  # every flag off: both slots show the same live frame, with the green frame rate
  shot --source synthetic --frames 40 && "$CHECK" shot.png size slots-hold-frames slots-equal fps-text ;;
grey)  # smoothing and grey: the processed slot is grey
  shot --source synthetic --keys g --frames 20 && "$CHECK" shot.png size slots-hold-frames processed-grey ;;
target)  # the target chain: the two outlines painted in their colours on white
  shot --source synthetic --keys gsx --frames 30 && "$CHECK" shot.png size colours:150 ;;
cone)  # the cone stands on the target in the live slot; without "n" nothing is drawn
  shot --source synthetic --keys gsxkn --frames 30 && "$CHECK" shot.png size drawn-on-live:300 &&
    shot --source synthetic --keys gsxk --frames 30 && "$CHECK" shot.png nothing-drawn-on-live ;;
large-frames)  # 640 x 480 frames fill their slots and the cone stands on the target
  shot --source synthetic:size=640x480,tilt=40,azimuth=30 --keys gsxkn --frames 30 &&
    "$CHECK" shot.png size slots-hold-frames drawn-on-live:300 cone-on-target ;;
still-target)  # on a still camera with sensor noise the cone stands still: frames 40 and 100 agree
  shot --source synthetic:still=1,noise=3,start=300 --keys gsxkn --frames 40 && mv shot.png first.png &&
    shot --source synthetic:still=1,noise=3,start=300 --keys gsxkn --frames 100 &&
    "$CHECK" shot.png cone-as-in:first.png ;;
model)  # the textured character stands on the target
  shot --source synthetic:tilt=50,azimuth=30 --keys gsxkm --frames 30 && "$CHECK" shot.png size creature:400 ;;
missing-skin)  # ends with status 0, saying which file and where it was looked for
  cp "$(dirname "$TOVRAK")/Ogros.md2" . && cp "$TOVRAK" tovrak-copy
  ./tovrak-copy --source synthetic --frames 5 >run.log 2>&1
  status=$?
  [ $status = 0 ] && grep -q "Error: .*OGRO.bmp" run.log && grep -q "looked for in" run.log || { cat run.log; exit 1; } ;;
regions)  # regions print their count once per frame
  "$TOVRAK" --source synthetic --keys gsp --frames 10 >run.log 2>&1 &&
    [ "$(grep -c -x '[0-9]*' run.log)" -ge 10 ] || { cat run.log; exit 1; } ;;
esc)  # a real Esc key sent to the window ends the program with status 1 and writes the screenshot
  cat > esc.sh <<INNER
"$TOVRAK" --source synthetic --screenshot esc.png >run.log 2>&1 &
pid=\$!
xdotool search --sync --onlyvisible --name '^Tovrak\$' >/dev/null
xdotool search --name '^Tovrak\$' windowfocus --sync key Escape
wait \$pid
echo \$? > esc.status
INNER
  timeout 60 bash esc.sh
  [ "$(cat esc.status 2>/dev/null)" = 1 ] && [ -s esc.png ] || { echo "status $(cat esc.status 2>/dev/null)"; cat run.log; exit 1; } ;;
record-replay)  # the replay of a recording is tracked as the original, and its end ends the run
  "$TOVRAK" --source synthetic --keys gsxk --frames 60 --record rec.mkv --poses orig.csv >rec.log 2>&1 &&
    "$TOVRAK" --source rec.mkv --keys gsxk --poses replay.csv >replay.log 2>&1 || { cat rec.log replay.log; exit 1; }
  orig=$(awk -F, 'NR>1{f+=$2} END{print f}' orig.csv)
  replay=$(awk -F, 'NR>1{f+=$2} END{print f}' replay.csv)
  rows=$(($(wc -l <replay.csv) - 1))
  echo "poses found: original $orig of 60, replayed $replay of $rows"
  [ "$rows" = 60 ] && [ "$replay" -ge $((orig - 2)) ] ;;
console)  # help, a bad option, a missing file, no camera, no webcam to list
  "$TOVRAK" --help | grep -q -- "--source" || { echo "help"; exit 1; }
  "$TOVRAK" --frames zero >bad.log 2>&1
  [ $? = 2 ] && grep -q "frames" bad.log && [ "$(wc -l <bad.log)" = 1 ] || { cat bad.log; exit 1; }
  "$TOVRAK" --source no-such-file.mkv >nofile.log 2>&1
  [ $? = 1 ] && grep -q "cannot play no-such-file.mkv" nofile.log || { cat nofile.log; exit 1; }
  env -u DISPLAY "$TOVRAK" >nocam.log 2>&1
  [ $? = 0 ] && grep -qx "No Capture Device!" nocam.log || { cat nocam.log; exit 1; }
  # A camera file that cannot be read: one line naming it and why, and the run goes on.
  printf 'image_width: 640\nimage_height: 0\n' >bad.yaml
  "$TOVRAK" --source synthetic --frames 3 --camera bad.yaml >badcam.log 2>&1
  [ $? = 0 ] && [ "$(grep -c 'bad.yaml' badcam.log)" = 1 ] && grep -q "^Error: bad.yaml: image_height" badcam.log ||
    { cat badcam.log; exit 1; }
  # Calibration from a source with no target in view: one line saying what is missing, non-zero.
  "$TOVRAK" --calibrate-from synthetic:distance=4000,tilt=80 --camera out.yaml >nocal.log 2>&1
  [ $? = 1 ] && [ "$(grep -c 'Error' nocal.log)" = 1 ] && grep -q "views" nocal.log && [ ! -e out.yaml ] ||
    { cat nocal.log; exit 1; }
  if [ -z "$(ls /dev/video* 2>/dev/null)" ]; then
    "$TOVRAK" --list-devices >list.log 2>&1
    [ $? = 0 ] && grep -q "No video capture device found" list.log || { cat list.log; exit 1; }
  fi ;;
signals | signals-long)  # Ctrl-C keeps every processed frame in the recording; SIGKILL loses at most a second
  cat > sig.sh <<'INNER'
# Records until signal $2 arrives after $3 seconds; prints "processed recorded status".
rm -f rec.$1 run.csv replay.csv
"$TOVRAK" --source synthetic --keys gsxk --record rec.$1 --poses run.csv >run.log 2>&1 &
pid=$!
# Seconds of running, counted from the first processed frame (start-up takes its own time).
for _ in $(seq 300); do [ "$(wc -l <run.csv 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
sleep $3
kill -$2 $pid
wait $pid
status=$?
echo $(($(wc -l <run.csv) - 1)) $("$COUNT_FRAMES" rec.$1 2>/dev/null || echo 0) $status
INNER
  check() {  # extension signal seconds most-frames-lost expected-status
    read -r processed recorded status < <(TOVRAK=$TOVRAK COUNT_FRAMES=$COUNT_FRAMES bash sig.sh "$1" "$2" "$3" 2>/dev/null)
    echo "$1 SIG$2 after $3 s: processed $processed, in the file $recorded, status $status"
    [ "$processed" -gt 0 ] && [ $((processed - recorded)) -le "$4" ] && [ "$recorded" -le "$processed" ] &&
      [ "$status" = "$5" ]
  }
  if [ "$case_name" = signals-long ]; then check mkv INT 15 0 130; else
    check mkv INT 1 0 130 && check mp4 TERM 1 0 143 && check mkv KILL 4 33 137 && check mp4 KILL 4 33 137; fi ;;
full-disk)  # writes to a full disk are reported at once, naming the file, with a non-zero status
  ln -sf /dev/full rec.mkv && ln -sf /dev/full shot.png && rm -f poses.fifo && mkfifo poses.fifo
  for args in "--poses /dev/full" "--record rec.mkv" "--screenshot shot.png" "--keys l kalman.txt" "--poses poses.fifo"; do
    # The point log is always kalman.txt in the working folder; key l starts it.
    if [ "${args#--keys l}" != "$args" ]; then ln -sf /dev/full kalman.txt; args="--keys gsxkl"; file=kalman.txt; else
      rm -f kalman.txt; file=${args#* }; fi
    # shellcheck disable=SC2086
    timeout 60 "$TOVRAK" --source synthetic --keys gsxk --frames 60 $args >run.log 2>&1
    status=$?
    echo "$args: status $status: $(grep Error run.log)"
    [ $status != 0 ] && grep -q "Error: .*$file" run.log && [ "$(grep -c Error run.log)" = 1 ] || { cat run.log; exit 1; }
  done ;;
bad-data-files)  # a directory, a FIFO or a device as a data file: one line, no hang, no crash
  cp "$(dirname "$TOVRAK")"/{Ogros.md2,OGRO.bmp,pontos1.txt} . && cp "$TOVRAK" tovrak-copy
  for name in pontos1.txt Ogros.md2 OGRO.bmp; do
    for kind in directory fifo zero; do
      mkdir -p good && cp "$name" good/ && rm -f "$name"
      case $kind in directory) mkdir "$name" ;; fifo) mkfifo "$name" ;; zero) ln -s /dev/zero "$name" ;; esac
      timeout 30 ./tovrak-copy --source synthetic --keys gsxkm --frames 5 >run.log 2>&1
      status=$?
      rm -rf "$name" && cp "good/$name" .
      echo "$name as a $kind: status $status: $(grep -E 'Error|Warning' run.log | head -1)"
      [ $status = 0 ] && [ "$(grep -c "Error.*$name" run.log)" = 1 ] || { cat run.log; exit 1; }
    done
  done ;;
platform)  # key b: the textured platform on the target, under the creature
  shot --source synthetic:tilt=50,azimuth=30 --keys gsxkbm --frames 30 && "$CHECK" shot.png size platform:3000 creature:300 ;;
model-mirrored)  # a tower seen in a mirror (a node scaled -1) is lit as the tower is, not from its back
  for m in tower.glb mirrored.glb; do
    shot --source synthetic:tilt=50,azimuth=30 --keys gsxkb --frames 20 --model "$(dirname "$TOVRAK")/corpus/$m" --scale 40 &&
      "$CHECK" shot.png lit:red:200 lit:blue:600 || { echo "$m"; exit 1; }
  done ;;
dump-without-camera)  # --model with --dump-scene and no --source: no camera, no window, the description written
  env -u DISPLAY "$TOVRAK" --model "$(dirname "$TOVRAK")/corpus/tower.glb" --dump-scene tower.scene >run.log 2>&1
  status=$?
  [ $status = 0 ] && [ -s tower.scene ] && [ -s tower_mesh0.msh ] && ! grep -q "Capture Device" run.log &&
    grep -q "+y up (the format's convention)" run.log || { echo "status $status"; cat run.log; exit 1; }
  env -u DISPLAY "$TOVRAK" --model missing.glb --dump-scene none.scene >run.log 2>&1
  status=$?
  [ $status = 1 ] && grep -qx "Error loading model file missing.glb." run.log && [ ! -e none.scene ] || { echo "status $status"; cat run.log; exit 1; } ;;
platform-dump)  # the imported platform's scene description, as expected, with mesh files that read back
  cp -r "$(dirname "$TOVRAK")/p40" .  # found in the working folder: file names relative to it
  "$TOVRAK" --source synthetic --frames 1 --dump-scene platform.scene >run.log 2>&1 || { cat run.log; exit 1; }
  diff -u "$(dirname "$0")/platform.scene" platform.scene || exit 1
  [ "$(ls platform_mesh*.msh | wc -l)" = 5 ] && grep -q "^T 0 1 2" platform_mesh0.msh || { ls; exit 1; } ;;
model-corpus)  # models in their formats' own axes, textured as they ask, stand upright: the top (blue) above the foot (red)
  corpus="$(dirname "$TOVRAK")/corpus"
  for m in tower.glb tower.3ds colours.ply; do
    shot --source synthetic:tilt=50,azimuth=30 --keys gsxkb --frames 20 --model "$corpus/$m" --scale 40 &&
      "$CHECK" shot.png above:blue:red:150 || { echo "$m"; exit 1; }
  done
  shot --source synthetic:tilt=50,azimuth=30 --keys gsxkb --frames 20 --model "$corpus/crate/crate.obj" --scale 40 &&
    "$CHECK" shot.png above:cyan:yellow:150 || exit 1
  # Key u turns the tower by a quarter each time: twice, and it stands on its head.
  shot --source synthetic:tilt=50,azimuth=30 --keys gsxkbuu --frames 20 --model "$corpus/tower.glb" --scale 40 &&
    "$CHECK" shot.png above:red:blue:150 && grep -q "Note: the model is drawn with its -y axis up" run.log ||
    { cat run.log; exit 1; } ;;
model-interrupt)  # Ctrl-C while a large model loads ends the run at once, as a signal
  awk 'BEGIN { n = 500; for (j = 0; j <= n; j++) for (i = 0; i <= n; i++) printf "v %d %d %d\n", i, j, (i * j) % 7;
               for (j = 0; j < n; j++) for (i = 0; i < n; i++) { a = j * (n + 1) + i + 1; b = a + n + 1;
               printf "f %d %d %d\nf %d %d %d\n", a, b, a + 1, a + 1, b, b + 1 } }' >large.obj
  "$TOVRAK" --source synthetic --frames 1000 --model large.obj >run.log 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -q "^Loading model large.obj" run.log && break; sleep 0.05; done
  kill -INT $pid
  for _ in $(seq 40); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done
  kill -0 $pid 2>/dev/null && { echo "still running 2 s after Ctrl-C"; kill -9 $pid; cat run.log; exit 1; }
  wait $pid
  status=$?
  [ $status = 130 ] || { echo "status $status"; cat run.log; exit 1; } ;;
model-obj)  # --model: a user's OBJ file stands on the target, fitted to it; a damaged one is left out
  printf 'mtllib house.mtl\nv -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv -1 1 -1\nv 1 1 -1\nv 1 1 1\nv -1 1 1\nv 0 1.7 -1\nv 0 1.7 1\nusemtl Walls\nf 5 6 2 1\nf 6 7 3 2\nf 7 8 4 3\nf 8 5 1 4\nusemtl Roof\nf 9 6 5\nf 10 8 7\nf 9 10 7 6\nf 10 9 5 8\n' >house.obj
  printf 'newmtl Walls\nKd 0.9 0.85 0.7\nnewmtl Roof\nKd 0.8 0.1 0.1\n' >house.mtl
  shot --source synthetic --keys gsxkb --frames 30 --model house.obj && "$CHECK" shot.png size red:2000 || exit 1
  grep -q "Model house.obj: 14 triangles" run.log || { cat run.log; exit 1; }
  head -c 300 "$(dirname "$TOVRAK")/p40/p40_2.3ds" >broken.3ds
  "$TOVRAK" --source synthetic --keys gsxkb --frames 5 --model broken.3ds >run.log 2>&1
  status=$?
  [ $status = 0 ] && grep -qx "Error loading model file broken.3ds\." run.log && grep -q "^It " run.log && [ "$(grep -c broken.3ds run.log)" = 2 ] || { echo "status $status"; cat run.log; exit 1; } ;;
scene-demo)  # the scene tool draws its picture and writes the description with both mesh files
  "$TOVRAK_SCENE_DEMO" . >run.log 2>&1 || { cat run.log; exit 1; }
  for f in scene.png scene.txt scene_mesh0.msh scene_mesh1.msh; do [ -s "$f" ] || { echo "no $f"; exit 1; }; done
  grep -q 'mshfile="./scene_mesh1.msh"' scene.txt || { cat scene.txt; exit 1; } ;;
*) echo "unknown case $case_name"; exit 2 ;;
esac
status=$?
if [ $status = 0 ]; then cd / && rm -rf "$out"; else echo "(the case's files are kept in $out)"; fi
exit $status
