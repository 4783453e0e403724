# Sourced by the GUI cases: one private X server for the whole case, ended on every way out.
#
# Xvfb picks a free display itself (-displayfd), so cases started together never race for one;
# it gets SIGKILL if this shell dies without running its traps (setpriv --pdeathsig), and the
# traps end it on a normal exit, a failure or a signal, so no server outlives its case.
start_virtual_x() {
  local dir=$1
  rm -f "$dir/.display"
  setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$dir/.display" \
    >"$dir/xvfb.log" 2>&1 &
  virtual_x_pid=$!
  trap 'kill $virtual_x_pid 2>/dev/null; wait $virtual_x_pid 2>/dev/null' EXIT
  trap 'exit 143' TERM HUP
  trap 'exit 130' INT
  for _ in $(seq 200); do
    [ -s "$dir/.display" ] && break
    kill -0 $virtual_x_pid 2>/dev/null || { cat "$dir/xvfb.log"; return 1; }
    sleep 0.05
  done
  [ -s "$dir/.display" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=:$(cat "$dir/.display")
}
