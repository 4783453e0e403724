#!/usr/bin/env bash
# The real program in a virtual X server: screenshots, a real Esc key, and its answers on
# the console. Usage: TOVRAK=path/to/tovrak CHECK=path/to/check_screenshot run_gui_tests.sh OUTDIR
set -uo pipefail
out=${1:?output directory}
mkdir -p "$out"
cd "$out"
failed=0
pass() { echo "PASS $1"; }
fail() { echo "FAIL $1"; failed=1; }

xrun() { xvfb-run -a -s "-screen 0 800x600x24" "$@"; }

# Every flag off: both slots show the same live frame, with the green frame rate.
rm -f plain.png
if xrun "$TOVRAK" --source synthetic --frames 40 --screenshot plain.png >plain.log 2>&1 &&
   "$CHECK" plain.png size slots-hold-frames slots-equal fps-text; then pass plain; else fail plain; cat plain.log; fi

# Smoothing and grey: the processed slot is grey.
rm -f grey.png
if xrun "$TOVRAK" --source synthetic --keys g --frames 20 --screenshot grey.png >grey.log 2>&1 &&
   "$CHECK" grey.png size slots-hold-frames processed-grey; then pass grey; else fail grey; cat grey.log; fi

# The target chain: the two outlines painted in their colours on white.
rm -f target.png
if xrun "$TOVRAK" --source synthetic --keys gsx --frames 30 --screenshot target.png >target.log 2>&1 &&
   "$CHECK" target.png size colours:150; then pass target; else fail target; cat target.log; fi

# The pose and the cone: the cone stands on the target in the live slot; without "n" nothing is drawn.
rm -f cone.png nocone.png
if xrun "$TOVRAK" --source synthetic --keys gsxkn --frames 30 --screenshot cone.png >cone.log 2>&1 &&
   "$CHECK" cone.png size drawn-on-live:300 &&
   xrun "$TOVRAK" --source synthetic --keys gsxk --frames 30 --screenshot nocone.png >nocone.log 2>&1 &&
   "$CHECK" nocone.png nothing-drawn-on-live; then pass cone; else fail cone; cat cone.log; fi

# The character stands on the target, textured; a missing skin ends the program with status 0,
# saying which file and where it was looked for.
rm -f model.png
if xrun "$TOVRAK" --source synthetic:tilt=50,azimuth=30 --keys gsxkm --frames 30 --screenshot model.png >model.log 2>&1 &&
   "$CHECK" model.png size creature:400; then pass model; else fail model; cat model.log; fi
mkdir -p noskin && cp "$(dirname "$TOVRAK")/Ogros.md2" noskin/ && cp "$TOVRAK" noskin/tovrak-copy
(cd noskin && xrun ./tovrak-copy --source synthetic --frames 5 >noskin.log 2>&1; echo $? >noskin.status)
if [ "$(cat noskin/noskin.status)" = 0 ] && grep -q "OGRO.bmp" noskin/noskin.log && grep -q "looked in" noskin/noskin.log; then
  pass missing-skin; else fail missing-skin; cat noskin/noskin.log; fi

# Regions print their count once per frame.
if xrun "$TOVRAK" --source synthetic --keys gsp --frames 10 >regions.log 2>&1 &&
   [ "$(grep -c -x '[0-9]*' regions.log)" -ge 10 ]; then pass regions; else fail regions; cat regions.log; fi

# A real Esc key sent to the window ends the program with status 1.
cat > esc.sh <<INNER
"$TOVRAK" --source synthetic --screenshot esc.png >esc.log 2>&1 &
pid=\$!
xdotool search --sync --onlyvisible --name '^Tovrak\$' >/dev/null
sleep 1
xdotool search --name '^Tovrak\$' windowfocus --sync key Escape
wait \$pid
echo \$? > esc.status
INNER
rm -f esc.status esc.png
timeout 60 xvfb-run -a -s "-screen 0 800x600x24" bash esc.sh
if [ "$(cat esc.status 2>/dev/null)" = 1 ] && [ -s esc.png ]; then pass esc; else fail "esc (status $(cat esc.status 2>/dev/null))"; cat esc.log; fi

# Record the virtual camera, play the recording back: the target is tracked on the replay as
# on the original, and the end of the recording ends the run.
rm -f rec.mkv orig.csv replay.csv
if xrun "$TOVRAK" --source synthetic --keys gsxk --frames 60 --record rec.mkv --poses orig.csv >rec.log 2>&1 &&
   xrun "$TOVRAK" --source rec.mkv --keys gsxk --poses replay.csv >replay.log 2>&1; then
  orig=$(awk -F, 'NR>1{f+=$2} END{print f}' orig.csv)
  replay=$(awk -F, 'NR>1{f+=$2} END{print f}' replay.csv)
  rows=$(($(wc -l <replay.csv) - 1))
  echo "poses found: original $orig of 60, replayed $replay of $rows"
  if [ "$rows" = 60 ] && [ "$replay" -ge $((orig - 2)) ]; then pass record-replay; else fail record-replay; fi
else
  fail record-replay; cat rec.log replay.log
fi
"$TOVRAK" --source no-such-file.mkv >nofile.log 2>&1
if [ $? = 1 ] && grep -q "cannot play no-such-file.mkv" nofile.log; then pass missing-file; else fail missing-file; cat nofile.log; fi

# Console answers: help, a bad option, and no camera.
if "$TOVRAK" --help | grep -q -- "--source"; then pass help; else fail help; fi
"$TOVRAK" --frames zero >bad.log 2>&1
if [ $? = 2 ] && grep -q "frames" bad.log && [ "$(wc -l <bad.log)" = 1 ]; then pass bad-option; else fail bad-option; cat bad.log; fi
env -u DISPLAY "$TOVRAK" >nocam.log 2>&1
if [ $? = 0 ] && grep -qx "No Capture Device!" nocam.log; then pass no-camera; else fail no-camera; cat nocam.log; fi
if [ -z "$(ls /dev/video* 2>/dev/null)" ]; then
  "$TOVRAK" --list-devices >list.log 2>&1
  if [ $? = 0 ] && grep -q "No video capture device found" list.log; then pass list-devices; else fail list-devices; cat list.log; fi
fi

exit $failed
