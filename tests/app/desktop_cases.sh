#!/usr/bin/env bash
# The real program on a real (virtual) desktop, driven as a person would: through the tray icon,
# its menu, the dialogs, the mouse and the keyboard. Runs inside tests/desktop/on-desktop.
#   desktop_cases.sh <case> <path of routewarden> [<coordinate_simulator> <tracking_stub>]
# ROUTEWARDEN_SHOTS=<folder> keeps a screenshot of every step worth looking at.
# Each case is a function case_<name>; the helpers are in tests/support/desktop_harness.sh.
set -euo pipefail
case_name=$1 program=$2 coordinate_simulator=${3:-} tracking_stub=${4:-}

HOME=$(mktemp -d)
export HOME
unset LC_ALL LANGUAGE
export LANG=C.UTF-8
home=$HOME settings=$HOME/Quillbank/config/.routewarden peers=$HOME/peers device=e2e-vehicle
source "$(dirname "$0")/../support/desktop_harness.sh"
trap 'kill_started KILL; rm -rf "$HOME"' EXIT

# The platform's side of the harness.
icon_owner='"routewarden"' ending_limit=20
# A menu that has just been mapped may not take a click yet (slow under the sanitizers): clicked
# again while it stays open.
menu_click_tries=5 menu_click_wait=3
launch_agent() {
  HOME=$home "$program" >>"$HOME/output.txt" 2>&1 &
  agent=$!
  pids+=("$agent")
}
keep_failure_artifacts() {
  shot failure || true
  xwininfo -root -tree >&2 || true
  cat "$HOME/output.txt" >&2 2>/dev/null || true
}
click_icon() {
  local centre
  centre=$(tray_icon_centre)
  xdotool mousemove ${centre% *} ${centre#* } click "$@"
}
double_click_icon() { click_icon --repeat 2 --delay 90 1; }
open_tray_menu() {
  click_icon 3
  wait_until 10 menu_open || fail "the tray menu did not open"
}
# The popup menu: a visible override-redirect window of the program, taller than the icon and its
# tooltip. By exact name: xdotool's search ignores case and would find the main window too.
menu_windows() { windows_titled routewarden; }
menu_fits() { ((WIDTH > 40 && HEIGHT > 60)); }
# The icon's tooltip window, by its window type.
tooltip_window() {
  local id
  for id in $(windows_titled routewarden); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$id" && return 0
  done
  return 1
}
# Reads the tooltip off the screen. Without a tooltip shown, the pointer leaves the icon and comes
# back, at most every 3 s: the tooltip comes a while after the pointer has stopped on the icon.
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

# The program ends within 2 s of "Exit"; the sanitizer builds add their own work at exit (the
# leak check among it), so their test presets allow more.
exit_limit=${ROUTEWARDEN_EXIT_LIMIT:-2}

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

change_rows_are() { (($(rows_like "Configuration changed") == $1)); }
# bodies_of <stub output> <folder>: each request's body as <folder>/<n>, from 1.
bodies_of() {
  mkdir -p "$2"
  awk -v folder="$2" '/^POST / { n++; next } n { print > (folder "/" n) }' "$1"
}

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

case_second_copy() {
  start_and_settle
  local first=$agent before button_code
  before=$(cat "$(log_file)")
  launch_agent
  find_window Routewarden
  shot box
  dismiss_box "$window" "$agent"
  wait_exit "$agent"
  [ "$code" -ne 0 ] || fail "the refused copy ended with 0"
  button_code=$code
  # A termination signal while the box is up ends the copy as the box's button does.
  launch_agent
  find_window Routewarden
  kill -TERM "$agent"
  wait_exit "$agent"
  [ "$code" -eq "$button_code" ] || fail "SIGTERM during the box ended the refused copy with $code, not $button_code"
  kill -0 "$first" || fail "the first copy ended"
  [ "$(compgen -G "$HOME/Quillbank/log/*" | wc -l)" -eq 1 ] || fail "the second copy created a log file"
  [ "$(cat "$(log_file)")" = "$before" ] || fail "the first copy's log shows the attempt"
  agent=$first
  kill -TERM "$agent"
  expect_clean_end "SIGTERM to the first copy"
}

case_log_folder_unwritable() {
  mkdir -p "$HOME/Quillbank"
  echo "a file where the log folder belongs" >"$HOME/Quillbank/log"
  launch_agent
  find_window 'C++ exception'
  shot box
  # Nothing of the half-built window stays during the box: its icon would reach a window that is gone.
  ! wait_until 3 icon_docked || fail "the tray icon is docked during the box"
  dismiss_box "$window" "$agent"
  wait_exit "$agent"
  [ "$code" -eq 1 ] || fail "exit code is not 1"
  ! icon_docked || fail "a tray icon remains"
  # A termination signal while the box is up ends the program as the box's button does.
  launch_agent
  find_window 'C++ exception'
  kill -TERM "$agent"
  wait_exit "$agent"
  [ "$code" -eq 1 ] || fail "SIGTERM during the box: exit code $code is not 1"
}

case_tray() {
  start_and_settle
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

  open_setup
  shot setup
  # A change on disk while the dialog is open replaces the window's settings object; the dialog
  # keeps working on its own, and its "Ok" keeps the edit, a line that only an edit sets among it.
  sed -i -e 's/^debug=0$/debug=1/' -e '$a proxy_server_address=http://127.0.0.1:3128' "$settings"
  wait_until 10 log_has "Configuration changed" || fail "an edit by hand was not noticed"
  set_device "$window" LOCO-7
  wait_until 10 config_has "device=LOCO-7" || fail "the dialog did not save the device"
  wait_until 10 change_rows_are 2 || fail "no \"Configuration changed\" row after \"Ok\""
  config_has "telemetry=0" && config_has "telemetry_port=50000" || fail "the dialog did not write all keys"
  config_has "debug=1" && config_has "proxy_server_address=http://127.0.0.1:3128" ||
    fail "\"Ok\" undid the edit made by hand while the dialog was open"
  shot saved

  tray_menu 3
  expect_orderly_end "\"Exit\""
}

case_signals() {
  local signal
  for signal in TERM INT HUP; do
    start_and_settle
    if [ "$signal" = TERM ]; then
      # A later modification time than the first-start write: the file system's clock is coarse.
      sleep 0.1
      # An edit by hand that replaces the file, as many editors save.
      sed -i 's/^coordinate_server_port=.*/coordinate_server_port=12600/' "$settings"
      wait_until 10 log_has "Configuration changed" || fail "a saved edit by hand was not noticed"
    fi
    kill -"$signal" "$agent"
    expect_orderly_end "SIG$signal"
  done
  config_has "coordinate_server_port=12600" || fail "the edit by hand was lost"

  # With the options dialog open, the dialog is cancelled and the program ends all the same.
  start_and_settle
  open_setup
  kill -TERM "$agent"
  expect_orderly_end "SIGTERM with the dialog open"
}

case_russian() {
  export LANG=ru_RU.UTF-8
  start_and_settle
  tray_menu 2 menu
  find_window 'Настройка'
  shot setup
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  xdotool key Escape
  wait_until 10 not window_shown 'Настройка' || fail "Escape did not close the dialog"
  sed -i 's/^debug=0$/debug=1/' "$settings"
  wait_until 10 log_has "Конфигурация изменена" || fail "the log row is not translated"
  kill -TERM "$agent"
  expect_clean_end SIGTERM
}

# The agent against a simulated coordinate server and a stub service, both on loopback.
case_end_to_end() {
  start_with_peers
  loopback_peer moved_coordinates "$coordinate_simulator"
  local moved_port=$peer_port screen_text
  expect_delivered "$device"

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
  sed -i "s/^coordinate_server_port=.*/coordinate_server_port=$moved_port/" "$settings"
  wait_until 10 log_has "Coordinate server: 127.0.0.1:$moved_port" || fail "the new port was not logged"
  expect_reload_rows "the change"

  tray_menu 3
  wait_until "$exit_limit" process_ended "$agent" || fail "\"Exit\" did not end the program within $exit_limit s"
}

# The README's pictures: the main window after a few deliveries, and the options dialog. Times and
# ports differ from run to run, so they are checked to be whole pictures of the right window, never
# compared with the kept ones (scripts/refresh-screenshots copies them there).
case_screenshots() {
  out=${ROUTEWARDEN_SCREENSHOT_DIR:?the folder for the pictures}
  mkdir -p "$out"
  rm -f "$out/main-window.png" "$out/options.png"
  start_with_peers
  wait_until 90 posts_at_least 3 || fail "three messages did not reach the service within 90 s"
  tray_menu 1
  find_window Routewarden
  picture "$window" main-window "Service address: " "Messages in queue: "
  open_setup
  picture "$window" options "Device ID" "Telemetry port" "Cancel"
  kill -TERM "$agent"
  wait_exit "$agent"
}

# The tooltip and the picture through the agent's states.
case_tray_state() {
  start_with_peers
  expect_tray_states "$HOME" icon_looks_like
}

# A service that takes the message and never answers: "Exit" must not wait for it.
case_exit_in_flight() {
  start_with_peers hang
  wait_until 40 posted || fail "no message reached the service within 40 s"
  tray_menu 3
  wait_until "$exit_limit" process_ended "$agent" || fail "\"Exit\" with a delivery in flight took more than $exit_limit s"
}

# kill_with_waiting <messages>: messages that wait while the service rejects them outlive a SIGKILL:
# restarted with the service taking them, the agent sends the newest ten of them first, in order,
# each once, byte for byte as it made them, and then goes on with new positions.
kill_with_waiting() {
  local waiting=$1 kept=$(($1 < 10 ? $1 : 10)) service_port service killed previous_stamp=0
  local i km body stamp stamp_seconds tried km_after repeated
  coordinates_mode=numbered start_with_peers reject 7 service down
  service_port=$peer_port service=$peer_pid
  # Each cycle hands one message over and the pass tries the head once: the n-th try is made
  # with n messages waiting, and the next message comes a whole poll period later.
  wait_until $((waiting * 10 + 60)) posts_at_least "$waiting" "$peers/service.out" ||
    fail "the service saw $(posts_in "$peers/service.out") of $waiting tries"
  kill -KILL "$agent"
  killed=$(date -u +%s)
  wait "$agent" 2>/dev/null || true
  [ "$(posts_in "$peers/service.out")" -eq "$waiting" ] || fail "more tries than $waiting before the kill"
  bodies_of "$peers/service.out" "$HOME/tried"

  kill -TERM "$service"
  wait "$service" 2>/dev/null || true
  loopback_peer service_up "$tracking_stub" --port "$service_port"
  [ "$peer_port" = "$service_port" ] || fail "the service came back on port $peer_port, not $service_port"
  start_and_settle
  log_has "Messages waiting from the last run: $kept" || fail "no row tells of the $kept restored messages"
  # The restored messages go with the first cycle; one more shows what comes after them.
  wait_until 60 posts_at_least $((kept + 1)) "$peers/service_up.out" ||
    fail "after the restart the service received $(posts_in "$peers/service_up.out") of $((kept + 1)) messages"
  bodies_of "$peers/service_up.out" "$HOME/arrived"
  for ((i = 1; i <= kept; i++)); do
    km=$((waiting - kept + i))
    body=$(cat "$HOME/arrived/$i")
    stamp=$(stamps_in "$HOME/arrived/$i")
    stamp_seconds=$(date -u -d "$stamp" +%s) || fail "message $i has no sample time: $body"
    ((stamp_seconds >= started && stamp_seconds <= killed && stamp_seconds >= previous_stamp)) ||
      fail "message $i: sample time $stamp is not of the first run, in order"
    previous_stamp=$stamp_seconds
    [ "$body" = "$(expected_message "$device" "$stamp" | sed "s/\"rail_km\": \"12\"/\"rail_km\": \"$km\"/")" ] ||
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
  kill -TERM "$agent"
  wait_exit "$agent"
}
case_kill_with_5_waiting() { kill_with_waiting 5; }
case_kill_with_15_waiting() { kill_with_waiting 15; }

# The agent's home on a file system that loses every write not flushed to the disk when it is
# unmounted (tests/support/unsynced_fs.py).
mount_unsynced() {
  /usr/bin/python3 "$(dirname "$0")/../support/unsynced_fs.py" "$home" "$HOME/fs.state" "$HOME/fs.events" \
    >>"$HOME/fs.log" 2>&1 &
  fs_pid=$!
  wait_until 10 mountpoint -q "$home" || fail "the unsynced file system did not mount: $(cat "$HOME/fs.log")"
}
log_flushed() { grep -q '^fsync /Quillbank/log/routewarden\[' "$HOME/fs.events" 2>/dev/null; }

# A power cut (SIGKILL, unmount, mount) half a second after the dialog's save, then a start on a
# settings file cut in its last line.
case_power_cut() {
  home=$HOME/home settings=$HOME/home/Quillbank/config/.routewarden
  mkdir -p "$home"
  trap 'kill_started KILL; fusermount -u -z "$home"; rm -rf "$HOME"' EXIT
  mount_unsynced
  device='' with_peers
  sync "$settings"
  start_and_settle
  wait_for 30 "the log flushed to the disk within 10 s of its rows" log_flushed
  open_setup
  set_device "$window" saved-vehicle
  wait_for 10 "the dialog's save" config_has "device=saved-vehicle"
  wait_for 10 "the save read again" change_rows_are 1
  sleep 0.5 # the power goes half a second after the save
  kill -KILL "$agent"
  wait "$agent" 2>/dev/null || true
  fusermount -u "$home" && wait "$fs_pid" || fail "the unsynced file system failed: $(cat "$HOME/fs.log")"
  mount_unsynced
  config_has "device=saved-vehicle" || fail "the dialog's save was lost at the cut: $(cat "$settings")"
  log_has "Service address: " || fail "the log lost its rows at the cut: $(log_text)"

  # Another program has taken the killed agent's process id; a save by hand was cut short.
  echo $$ >"$home/routewarden-$(id -un)"
  printf '%s\ndevice=un' "$(grep -v '^device=' "$settings")" >"$settings"
  sync "$home/routewarden-$(id -un)" "$settings"
  : >"$HOME/fs.events"
  start_and_settle
  log_has "Settings file [$settings] is damaged: its last good copy is used" ||
    fail "no red row for the damaged file: $(log_text)"
  log_flushed || fail "the red row did not go to the disk at once"
  expect_delivered saved-vehicle
  not grep -q 'device=un' "$peers/service.out" || fail "a message went under the cut device \"un\""
  kill -TERM "$agent"
  expect_clean_end SIGTERM
}

declare -F "case_$case_name" >/dev/null || fail "unknown case"
"case_$case_name"
echo "ok: $case_name"
