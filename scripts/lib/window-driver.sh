# Sourced by the scripts that drive the real window: a virtual display, the window found by
# its title, clicks on controls by name, and photographs. A control's place is read from the
# window's form, the one source of the window's geometry.
#   start_virtual_display FOLDER   Xvfb on a free display (its number kept in FOLDER);
#                                  exports DISPLAY. stop_virtual_display stops it.
#   find_window [TITLE [SECONDS]]  the id of the visible window of that title (default: the
#                                  main window), waiting for it; empty when none came
#   control_place NAME             "WIDTH HEIGHT LEFT TOP" in pixels of the main window's
#                                  client area, for a form control ("lblAD(0)" or "cmdStart")
#   click_control NAME [CLICKS]    clicks (or double-clicks) the centre of a control in $window
#   photograph FILE [NAME]         the window $window, or only control NAME of it, as a PNG
kMainWindowTitle='KZB7310测试及编程源程序'
kWindowForm=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/src/app/bench/FrmMultiBuf.ui

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

find_window() {
  local title=${1:-$kMainWindowTitle} seconds=${2:-60}
  timeout "$seconds" xdotool search --sync --onlyvisible --name "$title" 2>/dev/null | head -n 1
}

# The form nests controls in group boxes, each placed inside its container: the place in
# the window adds up the containers' offsets.
control_place() {
  local name=$1
  [[ $name =~ ^(.*)\(([0-9]+)\)$ ]] && name="${BASH_REMATCH[1]}_${BASH_REMATCH[2]}_"
  awk -v want="$name" '
    /<widget / { match($0, /name="[^"]*"/); depth++; names[depth] = substr($0, RSTART + 6, RLENGTH - 7) }
    /<\/widget>/ { depth-- }
    /name="geometry"/ {
      split("x y width height", keys, " ")
      for (k = 1; k <= 4; k++) {
        match($0, "<" keys[k] ">-?[0-9]+</"); v[k] = substr($0, RSTART + length(keys[k]) + 2, RLENGTH - length(keys[k]) - 4)
      }
      left[depth] = v[1]; top[depth] = v[2]
      if (names[depth] == want) {
        x = 0; y = 0
        for (d = 2; d <= depth; d++) { x += left[d]; y += top[d] }
        print v[3], v[4], x, y; found = 1; exit
      }
    }
    END { if (!found) exit 1 }' "$kWindowForm"
}

click_control() {
  local w h x y
  read -r w h x y < <(control_place "$1") || { echo "no control $1 in the form" >&2; return 1; }
  xdotool mousemove --window "$window" $((x + w / 2)) $((y + h / 2)) click --repeat "${2:-1}" --delay 80 1
  sleep 0.2
}

photograph() {
  if [ -n "${2:-}" ]; then
    local w h x y
    read -r w h x y < <(control_place "$2")
    import -window "$window" -crop "${w}x${h}+${x}+${y}" "$1"
  else
    import -window "$window" "$1"
  fi
}
