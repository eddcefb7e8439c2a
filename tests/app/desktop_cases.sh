#!/usr/bin/env bash
# The real program on a real (virtual) desktop, driven as a person would: through the tray icon,
# its menu, the dialogs, the mouse and the keyboard. Runs inside tests/desktop/on-desktop.
#   desktop_cases.sh <case> <path of routewarden> [<coordinate_simulator> <tracking_stub>]
# ROUTEWARDEN_SHOTS=<folder> keeps a screenshot of every step worth looking at.
set -euo pipefail
case_name=$1
program=$2

HOME=$(mktemp -d)
export HOME
unset LC_ALL LANGUAGE
export LANG=C.UTF-8
apps=()
cleanup() {
  for pid in "${apps[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$HOME"
}
trap cleanup EXIT

shot() {
  if [ -n "${ROUTEWARDEN_SHOTS:-}" ]; then
    mkdir -p "$ROUTEWARDEN_SHOTS"
    import -window root "$ROUTEWARDEN_SHOTS/$case_name-$1.png"
  fi
}
fail() {
  echo "FAIL ($case_name): $*" >&2
  shot failure || true
  xwininfo -root -tree >&2 || true
  cat "$HOME/output.txt" >&2 2>/dev/null || true
  exit 1
}

# wait_until <seconds> <command...>: polls an outside condition that sends no event.
wait_until() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.05
  done
}

not() { ! "$@"; }

# The program ends within 2 s of "Exit"; the sanitizer builds add their own work at exit (the
# leak check among it), so their test presets allow more.
exit_limit=${ROUTEWARDEN_EXIT_LIMIT:-2}
process_ended() { ! kill -0 "$1" 2>/dev/null; }

log_file() { compgen -G "$HOME/Quillbank/log/routewarden\[*\].html" | head -n1; }
log_has() { local f; f=$(log_file) && [ -n "$f" ] && grep -qF -- "$1" "$f"; }
change_rows_are() { [ "$(grep -c "Configuration changed" "$(log_file)")" -eq "$1" ]; }
rows_at_least() { local f; f=$(log_file) && [ -n "$f" ] && (($(grep -c '^<tr>$' "$f") >= $1)); }
config_has() { grep -qxF -- "$1" "$HOME/Quillbank/config/.routewarden" 2>/dev/null; }

# The docked icon, the program's window inside the tray host's "panel": "width height x y".
tray_icon_geometry() {
  xwininfo -root -tree | awk '
    /"panel"/ { in_panel = 1; depth = match($0, /[^ ]/); next }
    in_panel && match($0, /[^ ]/) <= depth { in_panel = 0 }
    in_panel && /"routewarden"/ {
      split($0, f, /  +/)
      for (i in f) if (f[i] ~ /^[0-9]+x[0-9]+\+/) size = f[i]
      for (i in f) if (f[i] ~ /^\+-?[0-9]+\+-?[0-9]+$/) at = f[i]
      split(size, wh, /[x+]/); split(at, xy, /\+/)
      if (!found && wh[1] > 1 && wh[2] > 1) { print wh[1], wh[2], xy[2], xy[3]; found = 1 }
    }'
}
tray_icon_centre() {
  local g
  read -ra g <<<"$(tray_icon_geometry)"
  ((${#g[@]} == 4)) && echo $((g[2] + g[0] / 2)) $((g[3] + g[1] / 2))
}
icon_docked() { [ -n "$(tray_icon_centre)" ]; }

# Starts the program and waits until its start-up is over: the icon docked, and the settings
# file, written after the start-up rows, exists.
start_program() {
  "$program" >>"$HOME/output.txt" 2>&1 &
  app=$!
  apps+=("$app")
  wait_until 20 icon_docked || fail "the tray icon did not dock"
  wait_until 10 test -f "$HOME/Quillbank/config/.routewarden" || fail "no settings file"
  # Start-up ends with five rows: three of the window's, then one from each worker, which
  # arrive through the event loop.
  wait_until 20 rows_at_least 5 || fail "start-up rows missing"
}

# Ids of the visible windows titled exactly so. Compared here: the search's own patterns ignore
# case (the icon's window is named "routewarden") and do not know UTF-8.
windows_titled() {
  local id
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && echo "$id"
  done
  return 0
}
window_shown() { [ -n "$(windows_titled "$1")" ]; }
main_window_shown() { window_shown Routewarden; }

# The popup menu: a visible override-redirect window of the program, taller than the icon and
# its tooltip. Sets menu_x, menu_y, menu_height.
menu_open() {
  local id
  # By exact name: xdotool's search ignores case and would find the main window too.
  for id in $(windows_titled routewarden); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if ((WIDTH > 40 && HEIGHT > 60)); then
      menu_x=$((X + WIDTH / 2)) menu_y=$Y menu_height=$HEIGHT
      return 0
    fi
  done
  return 1
}

# tray_menu <item number> [screenshot name]: right click on the icon, click the item (of three,
# evenly spaced). The mouse, not the keyboard: an open modal dialog keeps the keyboard.
tray_menu() {
  local centre
  centre=$(tray_icon_centre)
  xdotool mousemove ${centre% *} ${centre#* } click 3
  wait_until 10 menu_open || fail "the tray menu did not open"
  [ -z "${2:-}" ] || shot "$2"
  # A menu that has just been mapped may not take a click yet (slow under the sanitizers):
  # click again while it stays open.
  for _ in 1 2 3 4 5; do
    xdotool mousemove "$menu_x" $((menu_y + menu_height * (2 * $1 - 1) / 6)) click 1
    wait_until 3 not menu_open && return
  done
  fail "the tray menu did not take the click"
}

double_click_icon() {
  local centre
  centre=$(tray_icon_centre)
  xdotool mousemove ${centre% *} ${centre#* } click --repeat 2 --delay 90 1
}

# find_window <exact title>: waits for the visible window and sets window to its id.
find_window() {
  wait_until 15 window_shown "$1" || fail "no window \"$1\""
  window=$(windows_titled "$1" | head -n1)
}

# dismiss_box <window> <pid>: clicks the box's only button, which spans its bottom, until the
# process ends: a box that has just been mapped may not take the first click yet.
dismiss_box() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  for _ in $(seq 20); do
    xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT - 16)) click 1
    wait_until 1 process_ended "$2" && return 0
  done
  fail "the box did not close"
}

# wait_exit <pid>: sets code to the process's exit code, failing when it does not end in time.
wait_exit() {
  wait_until 20 process_ended "$1" || fail "process $1 did not end"
  code=0
  wait "$1" || code=$?
}

# tries_in <stub output>: how many requests the stub printed.
tries_in() { grep -c '^POST ' "$1" || true; }
tries_at_least() { (($(tries_in "$2") >= $1)); }
# bodies_of <stub output> <folder>: each request's body as <folder>/<n>, from 1.
bodies_of() {
  mkdir -p "$2"
  awk -v folder="$2" '/^POST / { n++; next } n { print > (folder "/" n) }' "$1"
}

peers=$HOME/peers
source "$(dirname "$0")/../support/peers.sh"
source "$(dirname "$0")/../support/tray_picture.sh"
globe_header=$(dirname "$0")/../../app/globe_icon.hpp

# The icon shows this picture (a file of globe_reference) pixel for pixel.
icon_looks_like() {
  local g
  read -ra g <<<"$(tray_icon_geometry)"
  ((${#g[@]} == 4)) && icon_shows "${g[0]}x${g[1]}+${g[2]}+${g[3]}" "$1"
}

# The icon's tooltip window, by its window type.
tooltip_window() {
  local id
  for id in $(windows_titled routewarden); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$id" && return 0
  done
  return 1
}
# tooltip_matches <extended regex>: reads the icon's tooltip off the screen into tooltip. Without
# a tooltip shown, the pointer leaves the icon and comes back, at most every 3 s: the tooltip
# comes a while after the pointer has stopped on the icon.
tooltip=
hovered_at=-10
tooltip_matches() {
  local id centre
  if ! id=$(tooltip_window); then
    if ((SECONDS - hovered_at >= 3)); then
      centre=$(tray_icon_centre)
      xdotool mousemove 640 400 sleep 0.2 mousemove ${centre% *} ${centre#* }
      hovered_at=$SECONDS
    fi
    return 1
  fi
  import -window "$id" "$HOME/tooltip.png" 2>/dev/null || return 1
  # Light text on a dark ground: reversed and enlarged for the reader.
  convert "$HOME/tooltip.png" -negate -resize 300% "$HOME/tooltip-large.png"
  tooltip=$(tesseract "$HOME/tooltip-large.png" - --psm 6 2>/dev/null | sed '/^[[:space:]]*$/d')
  [[ $tooltip =~ $1 ]] && return 0
  # A tooltip whose text changes while shown keeps its place and may reach past the screen's
  # edge: the next read is of a tooltip shown afresh.
  xdotool mousemove 640 400
  wait_until 5 not tooltip_window
  hovered_at=-10
  return 1
}
# loopback_peer <name> <program> <args...>: a peer whose output lands in $peers; sets peer_port.
loopback_peer() {
  start_peer "$peers" "$@" || fail "$1 did not start"
  apps+=("$peer_pid")
}

# start_with_peers <coordinate_simulator> <tracking_stub> <stub args...>: the agent with settings
# pointing at a fresh simulator (in $coordinates_mode, "data" if unset) and stub; what the stub
# receives lands in $peers/service.out.
start_with_peers() {
  export TZ=UTC
  loopback_peer coordinates "$1" "${coordinates_mode:-data}"
  local coordinate_port=$peer_port
  coordinate_pid=$peer_pid
  loopback_peer service "$2" "${@:3}"
  mkdir -p "$HOME/Quillbank/config"
  peer_settings "$peer_port" "$coordinate_port" e2e-vehicle >"$HOME/Quillbank/config/.routewarden"
  started=$(date -u +%s)
  start_program
}

posts_at_least() { (($(grep -c '^POST ' "$peers/service.out") >= $1)); }

# picture <window> <name> <text...>: the window with its frame as $out/<name>.png, small (no
# metadata, a palette), once it is sane: the size of a dialog or more but within the screen, more
# than a few colours, and each text legible on it. Taken again until then: nothing announces a paint.
picture() {
  wait_until 15 picture_sane "$@" || fail "no sane picture of $2 within 15 s: $why"
}
picture_sane() {
  local file=$out/$2.png width height colours
  why="import failed"
  import -frame -window "$1" -strip "PNG8:$file" 2>/dev/null || return 1
  read -r width height colours <<<"$(identify -format '%w %h %k' "$file")"
  why="${width}x$height, $colours colours"
  ((width >= 300 && height >= 200 && width <= 1280 && height <= 800 && colours >= 16)) || return 1
  convert "$file" -resize 200% "$HOME/$2-large.png"
  local text seen
  seen=$(tesseract "$HOME/$2-large.png" - 2>/dev/null)
  for text in "${@:3}"; do
    why="\"$text\" is not legible"
    grep -qF -- "$text" <<<"$seen" || return 1
  done
}

case $case_name in
second_copy)
  start_program
  first=$app
  before=$(cat "$(log_file)")
  "$program" >>"$HOME/output.txt" 2>&1 &
  second=$!
  apps+=("$second")
  find_window Routewarden
  shot box
  dismiss_box "$window" "$second"
  wait_exit "$second"
  [ "$code" -ne 0 ] || fail "the refused copy ended with 0"
  button_code=$code
  # A termination signal while the box is up ends the copy as the box's button does.
  "$program" >>"$HOME/output.txt" 2>&1 &
  second=$!
  apps+=("$second")
  find_window Routewarden
  kill -TERM "$second"
  wait_exit "$second"
  [ "$code" -eq "$button_code" ] || fail "SIGTERM during the box ended the refused copy with $code, not $button_code"
  kill -0 "$first" || fail "the first copy ended"
  [ "$(compgen -G "$HOME/Quillbank/log/*" | wc -l)" -eq 1 ] || fail "the second copy created a log file"
  [ "$(cat "$(log_file)")" = "$before" ] || fail "the first copy's log shows the attempt"
  kill -TERM "$first"
  wait_exit "$first"
  [ "$code" -eq 0 ] || fail "the first copy did not end cleanly"
  ;;

log_folder_unwritable)
  mkdir -p "$HOME/Quillbank"
  echo "a file where the log folder belongs" >"$HOME/Quillbank/log"
  "$program" >>"$HOME/output.txt" 2>&1 &
  app=$!
  apps+=("$app")
  find_window 'C++ exception'
  shot box
  # Nothing of the half-built window stays during the box: its icon would reach a window that is gone.
  ! wait_until 3 icon_docked || fail "the tray icon is docked during the box"
  dismiss_box "$window" "$app"
  wait_exit "$app"
  [ "$code" -eq 1 ] || fail "exit code is not 1"
  ! icon_docked || fail "a tray icon remains"
  # A termination signal while the box is up ends the program as the box's button does.
  "$program" >>"$HOME/output.txt" 2>&1 &
  app=$!
  apps+=("$app")
  find_window 'C++ exception'
  kill -TERM "$app"
  wait_exit "$app"
  [ "$code" -eq 1 ] || fail "SIGTERM during the box: exit code $code is not 1"
  ;;

tray)
  start_program
  shot docked
  not main_window_shown || fail "a window is shown after start"
  double_click_icon
  wait_until 10 main_window_shown || fail "a double click did not show the window"
  double_click_icon
  sleep 0.5 # nothing to wait for: a second double click must change nothing
  main_window_shown || fail "a second double click hid the window"
  shot shown
  xdotool windowminimize "$(windows_titled Routewarden | head -n1)"
  wait_until 10 not main_window_shown || fail "minimising did not hide the window"
  double_click_icon
  wait_until 10 main_window_shown || fail "a double click did not bring the minimised window back"
  tray_menu 1 menu-checked
  wait_until 10 not main_window_shown || fail "\"Log\" did not hide the window"
  tray_menu 1 menu-unchecked
  wait_until 10 main_window_shown || fail "\"Log\" did not show the window"

  tray_menu 2
  find_window Setup
  dialog=$window
  shot setup
  # A change on disk while the dialog is open replaces the window's settings object; the dialog
  # keeps working on its own, and its "Ok" keeps the edit, a line that only an edit sets among it.
  sed -i -e 's/^debug=0$/debug=1/' -e '$a proxy_server_address=http://127.0.0.1:3128' \
    "$HOME/Quillbank/config/.routewarden"
  wait_until 10 log_has "Configuration changed" || fail "an edit by hand was not noticed"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # The "Device ID" value cell, then the "Ok" button at the bottom right.
  xdotool mousemove --window "$dialog" 300 43 click 1
  xdotool type --delay 20 LOCO-7
  xdotool key Return
  xdotool mousemove --window "$dialog" $((WIDTH - 159)) $((HEIGHT - 24)) click 1
  wait_until 10 config_has "device=LOCO-7" || fail "the dialog did not save the device"
  wait_until 10 change_rows_are 2 ||
    fail "no \"Configuration changed\" row after \"Ok\""
  config_has "telemetry=0" && config_has "telemetry_port=50000" || fail "the dialog did not write all keys"
  config_has "debug=1" && config_has "proxy_server_address=http://127.0.0.1:3128" ||
    fail "\"Ok\" undid the edit made by hand while the dialog was open"
  shot saved

  tray_menu 3
  wait_exit "$app"
  [ "$code" -eq 0 ] || fail "\"Exit\" did not end the program with 0"
  ! icon_docked || fail "the tray icon remains after \"Exit\""
  ;;

signals)
  for signal in TERM INT HUP; do
    start_program
    if [ "$signal" = TERM ]; then
      # A later modification time than the first-start write: the file system's clock is coarse.
      sleep 0.1
      # An edit by hand that replaces the file, as many editors save.
      sed -i 's/^coordinate_server_port=.*/coordinate_server_port=12600/' "$HOME/Quillbank/config/.routewarden"
      wait_until 10 log_has "Configuration changed" || fail "a saved edit by hand was not noticed"
    fi
    kill -"$signal" "$app"
    wait_exit "$app"
  [ "$code" -eq 0 ] || fail "SIG$signal did not end the program with 0"
    ! icon_docked || fail "the tray icon remains after SIG$signal"
    tail -n1 "$(log_file)" | grep -qx "</tr>" || fail "the log does not end with a whole row"
    rm -f "$HOME"/Quillbank/log/*
  done
  config_has "coordinate_server_port=12600" || fail "the edit by hand was lost"

  # With the options dialog open, the dialog is cancelled and the program ends all the same.
  start_program
  tray_menu 2
  find_window Setup
  kill -TERM "$app"
  wait_exit "$app"
  [ "$code" -eq 0 ] || fail "SIGTERM with the dialog open did not end the program with 0"
  ! icon_docked || fail "the tray icon remains after SIGTERM with the dialog open"
  ;;

russian)
  export LANG=ru_RU.UTF-8
  start_program
  tray_menu 2 menu
  find_window 'Настройка'
  dialog=$window
  shot setup
  xdotool windowactivate --sync "$dialog" 2>/dev/null || true
  xdotool key Escape
  wait_until 10 not window_shown 'Настройка' ||
    fail "Escape did not close the dialog"
  sed -i 's/^debug=0$/debug=1/' "$HOME/Quillbank/config/.routewarden"
  wait_until 10 log_has "Конфигурация изменена" || fail "the log row is not translated"
  kill -TERM "$app"
  wait_exit "$app"
  [ "$code" -eq 0 ] || fail "SIGTERM did not end the program with 0"
  ;;

end_to_end)
  # The agent against a simulated coordinate server and a stub service, both on loopback.
  start_with_peers "$3" "$4"
  loopback_peer moved_coordinates "$3"
  moved_port=$peer_port

  # The first position becomes a message once a second one has arrived, about 30 s after start.
  wait_until 40 grep -q '^}$' "$peers/service.out" || fail "no message reached the service within 40 s"
  message=$(awk 'NR > 1 && !/^POST / { print } /^}$/ { exit }' "$peers/service.out")
  stamp=$(printf '%s\n' "$message" | sed -n 's/^        "data_position": "\(.*\)",$/\1/p')
  stamp_seconds=$(date -u -d "$stamp" +%s) || fail "no sample time in the message"
  ((stamp_seconds >= started && stamp_seconds <= $(date -u +%s))) || fail "sample time $stamp out of range"
  [ "$message" = "$(expected_message e2e-vehicle "$stamp")" ] || fail "the service received: $message"
  grep -qx "POST /api/registers/hoz_dm/model/mob_device_service/objects?device=e2e-vehicle" "$peers/service.out" ||
    fail "the message went to another address"

  # The status bar, read off the screen: its two texts appear nowhere else.
  tray_menu 1
  find_window Routewarden
  sleep 0.5 # nothing announces the first paint
  import -window root "$HOME/screen.png"
  convert "$HOME/screen.png" -resize 200% "$HOME/screen-large.png"
  screen_text=$(tesseract "$HOME/screen-large.png" - 2>/dev/null | tr '\n' ' ')
  [[ $screen_text == *"Messages in queue: "*" sent: "* ]] || fail "no delivery counts in the status bar: $screen_text"
  [[ $screen_text == *"Coordinate server: North"* ]] || fail "no position in the status bar: $screen_text"
  shot status

  # An edit by hand moves the agent to another coordinate server.
  sleep 0.1 # a later modification time than the write above: the file system's clock is coarse
  sed -i "s/^coordinate_server_port=.*/coordinate_server_port=$moved_port/" "$HOME/Quillbank/config/.routewarden"
  wait_until 10 log_has "Coordinate server: 127.0.0.1:$moved_port" || fail "the new port was not logged"
  rows=$(grep -noF -e "Configuration changed" -e "Service address:" -e "Coordinate server: 127.0.0.1:" "$(log_file)" |
    tail -n 3 | cut -d: -f2-)
  [ "$rows" = "Configuration changed
Service address:
Coordinate server: 127.0.0.1:" ] || fail "rows after the change: $rows"

  tray_menu 3
  wait_until "$exit_limit" process_ended "$app" || fail "\"Exit\" did not end the program within $exit_limit s"
  ;;

screenshots)
  # The README's pictures: the main window after a few deliveries, and the options dialog. Times
  # and ports differ from run to run, so they are checked to be whole pictures of the right
  # window, never compared with the kept ones (scripts/refresh-screenshots copies them there).
  out=${ROUTEWARDEN_SCREENSHOT_DIR:?the folder for the pictures}
  mkdir -p "$out"
  rm -f "$out/main-window.png" "$out/options.png"
  start_with_peers "$3" "$4"
  wait_until 90 posts_at_least 3 || fail "three messages did not reach the service within 90 s"
  tray_menu 1
  find_window Routewarden
  picture "$window" main-window "Service address: " "Messages in queue: "
  tray_menu 2
  find_window Setup
  picture "$window" options "Device ID" "Telemetry port" "Cancel"
  kill -TERM "$app"
  wait_exit "$app"
  ;;

tray_state)
  # The tooltip and the picture: good after a delivery, failing while the service refuses, and
  # while the coordinate server gives no answer.
  start_with_peers "$3" "$4"
  service_address=$(grep '^tracking_server_address=' "$HOME/Quillbank/config/.routewarden")
  loopback_peer refusing_service "$4" http 503
  refusing_port=$peer_port
  globe_reference "$globe_header" "$HOME/plain.png"
  globe_reference "$globe_header" "$HOME/marked.png" marked
  n=$'\n'
  time_pattern='[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}'

  wait_until 10 icon_looks_like "$HOME/plain.png" || fail "the icon at start is not the plain globe"
  wait_until 20 tooltip_matches "^Routewarden${n}No delivery yet${n}Waiting: 0, dropped: 0$" ||
    fail "tooltip at start: $tooltip"
  wait_until 40 grep -q '^}$' "$peers/service.out" || fail "no message reached the service within 40 s"
  wait_until 20 tooltip_matches "^Routewarden${n}Last delivery: $time_pattern${n}Waiting: [01], dropped: 0$" ||
    fail "tooltip after a delivery: $tooltip"
  icon_looks_like "$HOME/plain.png" || fail "the icon after a delivery is not the plain globe"
  shot good

  sleep 0.1 # a later modification time than the settings' first write: the file system's clock is coarse
  sed -i "s|^tracking_server_address=.*|tracking_server_address=http://127.0.0.1:$refusing_port/x|" \
    "$HOME/Quillbank/config/.routewarden"
  wait_until 30 log_has "HTTP error code: 503." || fail "the refusing service was not tried"
  wait_until 10 icon_looks_like "$HOME/marked.png" || fail "no red mark while deliveries fail"
  wait_until 20 tooltip_matches \
    "^Routewarden${n}Last delivery: $time_pattern${n}Waiting: [1-9], dropped: 0${n}Delivery failed: HTTP error code: 503\.$" ||
    fail "tooltip while deliveries fail: $tooltip"
  shot delivery-failing

  # Deliveries work again; the coordinate server goes silent: failing after three cycles.
  sed -i "s|^tracking_server_address=.*|$service_address|" "$HOME/Quillbank/config/.routewarden"
  wait_until 30 icon_looks_like "$HOME/plain.png" || fail "the mark stayed after deliveries resumed"
  kill "$coordinate_pid"
  wait_until 60 icon_looks_like "$HOME/marked.png" || fail "no red mark while the coordinate server is silent"
  wait_until 20 tooltip_matches "${n}Coordinate server not answering$" ||
    fail "tooltip while the coordinate server is silent: $tooltip"
  shot coordinates-failing
  ;;

exit_in_flight)
  # A service that takes the message and never answers: "Exit" must not wait for it.
  start_with_peers "$3" "$4" hang
  wait_until 40 grep -q '^POST ' "$peers/service.out" || fail "no message reached the service within 40 s"
  tray_menu 3
  wait_until "$exit_limit" process_ended "$app" || fail "\"Exit\" with a delivery in flight took more than $exit_limit s"
  ;;

kill_with_*_waiting)
  # Messages that wait while the service rejects them outlive a SIGKILL: restarted with the
  # service taking them, the agent sends the newest ten of them first, in order, each once, byte
  # for byte as it made them, and then goes on with new positions.
  waiting=${case_name//[!0-9]/}
  kept=$((waiting < 10 ? waiting : 10))
  coordinates_mode=numbered start_with_peers "$3" "$4" reject 7 service down
  service_port=$peer_port
  service=$peer_pid
  # Each cycle hands one message over and the pass tries the head once: the n-th try is made
  # with n messages waiting, and the next message comes a whole poll period later.
  wait_until $((waiting * 10 + 60)) tries_at_least "$waiting" "$peers/service.out" ||
    fail "the service saw $(tries_in "$peers/service.out") of $waiting tries"
  kill -KILL "$app"
  killed=$(date -u +%s)
  wait "$app" 2>/dev/null || true
  [ "$(tries_in "$peers/service.out")" -eq "$waiting" ] || fail "more tries than $waiting before the kill"
  bodies_of "$peers/service.out" "$HOME/tried"

  kill -TERM "$service"
  wait "$service" 2>/dev/null || true
  loopback_peer service_up "$4" --port "$service_port"
  [ "$peer_port" = "$service_port" ] || fail "the service came back on port $peer_port, not $service_port"
  mv "$(log_file)" "$HOME/first-run.html"
  start_program
  log_has "Messages waiting from the last run: $kept" || fail "no row tells of the $kept restored messages"
  # The restored messages go with the first cycle; one more shows what comes after them.
  wait_until 60 tries_at_least $((kept + 1)) "$peers/service_up.out" ||
    fail "after the restart the service received $(tries_in "$peers/service_up.out") of $((kept + 1)) messages"
  bodies_of "$peers/service_up.out" "$HOME/arrived"
  previous_stamp=0
  for ((i = 1; i <= kept; i++)); do
    km=$((waiting - kept + i))
    body=$(cat "$HOME/arrived/$i")
    stamp=$(printf '%s\n' "$body" | sed -n 's/^        "data_position": "\(.*\)",$/\1/p')
    stamp_seconds=$(date -u -d "$stamp" +%s) || fail "message $i has no sample time: $body"
    ((stamp_seconds >= started && stamp_seconds <= killed && stamp_seconds >= previous_stamp)) ||
      fail "message $i: sample time $stamp is not of the first run, in order"
    previous_stamp=$stamp_seconds
    [ "$body" = "$(expected_message e2e-vehicle "$stamp" | sed "s/\"rail_km\": \"12\"/\"rail_km\": \"$km\"/")" ] ||
      fail "message $i is not the one made at km $km: $body"
    # Only the head was ever tried; every try of it was the same bytes.
    if ((km == 1)); then
      for tried in "$HOME"/tried/*; do
        cmp -s "$tried" "$HOME/arrived/$i" || fail "message $i differs from its try $(basename "$tried")"
      done
    fi
  done
  km_after=$(sed -n 's/^        "rail_km": "\(.*\)",$/\1/p' "$HOME/arrived/$((kept + 1))")
  ((km_after > waiting)) || fail "after the restored messages came km $km_after, not a new position"
  repeated=$(sed -n 's/^        "rail_km": //p' "$HOME"/arrived/* | sort | uniq -d)
  [ -z "$repeated" ] || fail "sent twice: $repeated"
  kill -TERM "$app"
  wait_exit "$app"
  ;;

*)
  fail "unknown case"
  ;;
esac
echo "ok: $case_name"
