# Sourced by the scripts that show the real window: starts Xvfb on a free display, waits
# until it answers, and exports DISPLAY. The caller stops it with stop_virtual_display.
# Usage: start_virtual_display FOLDER   (a folder of the caller's for Xvfb's display number)
start_virtual_display() {
  local folder=$1
  mkdir -p "$folder"
  rm -f "$folder/display"
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$folder/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$folder/display" ] && break; sleep 0.05; done
  [ -s "$folder/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$(cat "$folder/display")
  unset QT_QPA_PLATFORM  # a real window on the virtual display, even when tests run offscreen
}

stop_virtual_display() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
