# The desktop cases' helpers, on Linux (tests/app/desktop_cases.sh) and under Wine
# (tests/windows/cases.sh): waiting, the agent's log and settings, its windows, the tray icon and
# its menu, the loopback peers and what they received. Each platform's file sets what differs:
#   case_name, home, settings   the case, the agent's home folder and settings file;
#   peers                       the folder the peers' output lands in;
#   coordinate_simulator, tracking_stub, device   the peers' programs and the device they serve;
#   icon_owner                  the quoted name of the docked icon's window in the tray host's panel;
#   ending_limit                the seconds the agent may take to end once asked;
#   menu_click_tries, menu_click_wait   clicks on a menu item, and the seconds the menu may take to
#                               close after each;
#   launch_agent                starts the agent in the background, setting agent;
#   double_click_icon, open_tray_menu   a double or right click on the icon (the latter waits for
#                               menu_open);
#   menu_windows, menu_fits     the windows that may be the icon's menu, and whether one of
#                               WIDTH x HEIGHT is;
#   tooltip_matches <regex>     whether the icon's tooltip, read into tooltip, matches;
#   keep_failure_artifacts      what a failed case leaves to look at.
source "$(dirname "${BASH_SOURCE[0]}")/peers.sh"
globe_header=$(dirname "${BASH_SOURCE[0]}")/../../app/globe_icon.hpp

pids=() # what the case started, ended with it by kill_started <signal>
kill_started() { ((${#pids[@]} == 0)) || kill "-$1" "${pids[@]}" 2>/dev/null || true; }

fail() {
  echo "FAIL ($case_name): $*" >&2
  keep_failure_artifacts
  exit 1
}
# shot <name>: with ROUTEWARDEN_SHOTS=<folder>, the screen at a step worth looking at.
shot() {
  if [ -n "${ROUTEWARDEN_SHOTS:-}" ]; then
    mkdir -p "$ROUTEWARDEN_SHOTS"
    import -window root "$ROUTEWARDEN_SHOTS/$case_name-$1.png"
  fi
}

# wait_until <seconds> <command...>: polls an outside condition that sends no event.
wait_until() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.05
  done
}
# wait_for <seconds> <what> <command...>: fails the case naming what did not come about.
wait_for() { wait_until "$1" "${@:3}" || fail "$2 (after $1 s)"; }
not() { ! "$@"; }

process_ended() { ! kill -0 "$1" 2>/dev/null; }
# wait_exit <pid>: sets code to the process's exit code, failing when it does not end in time.
wait_exit() {
  wait_until "$ending_limit" process_ended "$1" || fail "process $1 did not end (after $ending_limit s)"
  code=0
  wait "$1" || code=$?
}
# expect_clean_end <what ended it>: the agent ends in time with exit code 0.
expect_clean_end() {
  wait_exit "$agent"
  [ "$code" -eq 0 ] || fail "the agent ended with $code after $1"
}
# expect_orderly_end <what ended it>: exit code 0, the log ending with a whole row, no icon left.
expect_orderly_end() {
  expect_clean_end "$1"
  [ "$(log_text | tail -n1)" = "</tr>" ] || fail "the log does not end with a whole row after $1"
  wait_for 10 "the tray icon gone after $1" not icon_docked
}

# The agent's files; Windows ends their lines with carriage returns, left out here.
log_file() { compgen -G "$home/Quillbank/log/routewarden\[*\].html" | head -n1; }
has_log_file() { [ -n "$(log_file)" ]; }
log_text() { local f; f=$(log_file) && [ -n "$f" ] && tr -d '\r' <"$f"; }
log_has() { grep -qF -- "$1" < <(log_text); }
# rows_like <text>: how many lines of the log hold it.
rows_like() { log_text | grep -cF -- "$1" || true; }
rows_at_least() { (($(log_text | grep -c '^<tr>$') >= $1)); }
config_has() { grep -qxF -- "$1" < <(tr -d '\r' <"$settings" 2>/dev/null); }
# expect_reload_rows <after what>: the last rows a reload writes, in order.
expect_reload_rows() {
  local rows
  rows=$(log_text | grep -oF -e "Configuration changed" -e "Service address:" -e "Coordinate server: 127.0.0.1:" |
    tail -n 3) || true
  [ "$rows" = $'Configuration changed\nService address:\nCoordinate server: 127.0.0.1:' ] ||
    fail "rows after $1: $rows"
}

# Starts the agent on a fresh log and waits until its start-up is over: the icon docked, the
# settings file (written after the start-up rows) there, and five rows: three of the window's,
# then one from each worker, which arrive through the event loop.
start_and_settle() {
  rm -f "$home"/Quillbank/log/*
  launch_agent
  wait_for 60 "the tray icon docked" icon_docked
  wait_for 60 "the settings file written" test -f "$settings"
  wait_for 60 "the start-up rows" rows_at_least 5
}

# The docked icon, the window of $icon_owner inside the tray host's "panel": "width height x y".
# Skips the 1x1 helper window listed under it.
tray_icon_geometry() {
  xwininfo -root -tree | awk -v owner="$icon_owner" '
    /"panel"/ { in_panel = 1; depth = match($0, /[^ ]/); next }
    in_panel && match($0, /[^ ]/) <= depth { in_panel = 0 }
    in_panel && index($0, owner) && match($0, / [0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+ +\+-?[0-9]+\+-?[0-9]+/) {
      split(substr($0, RSTART + 1, RLENGTH - 1), f, /[x+ ]+/)
      if (!found && f[1] > 1 && f[2] > 1) { print f[1], f[2], f[5], f[6]; found = 1 }
    }'
}
tray_icon_centre() {
  local g
  read -ra g <<<"$(tray_icon_geometry)"
  ((${#g[@]} == 4)) && echo $((g[2] + g[0] / 2)) $((g[3] + g[1] / 2))
}
icon_docked() { [ -n "$(tray_icon_centre)" ]; }

# globe_pictures <folder>: the tray pictures as they must look, made from the program's own XPM:
# <folder>/plain.png, and <folder>/marked.png with the failing state's red mark, a 5 by 5 square
# in the bottom right corner.
globe_pictures() {
  cmake -DHEADER="$globe_header" -DICON="$1/plain.png" -DCONVERT=convert \
    -P "$(dirname "${BASH_SOURCE[0]}")/../../cmake/xpm_to_ico.cmake" || fail "no globe picture"
  convert "$1/plain.png" -fill red -draw 'rectangle 11,11 15,15' "$1/marked.png"
}
# icon_looks_like <picture>: the icon shows it pixel for pixel, wherever the host placed it inside
# the icon's window.
icon_looks_like() {
  local g result shot=${1%.png}-shot.png
  read -ra g <<<"$(tray_icon_geometry)"
  ((${#g[@]} == 4)) || return 1
  import -window root -crop "${g[0]}x${g[1]}+${g[2]}+${g[3]}" +repage "$shot" 2>/dev/null || return 1
  result=$(compare -metric AE -subimage-search "$shot" "$1" null: 2>&1) || true
  [[ $result == "0 "* || $result == "0" ]]
}

# Ids of the visible windows titled exactly so. Compared here: xdotool's own patterns ignore case
# (the icon's window is named "routewarden") and do not know UTF-8.
windows_titled() {
  local id
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && echo "$id"
  done
  return 0
}
window_shown() { [ -n "$(windows_titled "$1")" ]; }
main_window_shown() { window_shown Routewarden; }
# find_window <exact title>: waits for the visible window and sets window to its id.
find_window() {
  wait_for 30 "no window \"$1\"" window_shown "$1"
  window=$(windows_titled "$1" | head -n1)
}

# The icon's menu, when shown: sets menu_x, menu_y, menu_height.
menu_open() {
  local id
  for id in $(menu_windows); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if menu_fits; then
      menu_x=$((X + WIDTH / 2)) menu_y=$Y menu_height=$HEIGHT
      return 0
    fi
  done
  return 1
}
# tray_menu <item number> [screenshot name]: the icon's menu, then its item (of three, evenly
# spaced) by the mouse, not the keyboard: an open modal dialog keeps the keyboard. The pointer
# enters the item before the click, as a hand's would.
tray_menu() {
  open_tray_menu
  [ -z "${2:-}" ] || shot "$2"
  local y=$((menu_y + menu_height * (2 * $1 - 1) / 6)) try
  for ((try = 0; try < menu_click_tries; try++)); do
    xdotool mousemove "$menu_x" $((y - 2)) sleep 0.1 mousemove "$menu_x" "$y" sleep 0.1 click 1
    wait_until "$menu_click_wait" not menu_open && return
  done
  fail "the tray menu did not close after the click on item $1"
}
open_setup() {
  tray_menu 2
  find_window Setup
}
# set_device <Setup dialog> <device>: the "Device ID" value cell typed in, then "Ok" at the
# bottom right.
set_device() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --window "$1" 300 43 click 1
  xdotool type --delay 20 "$2"
  xdotool key Return
  xdotool mousemove --window "$1" $((WIDTH - 159)) $((HEIGHT - 24)) click 1
}

# loopback_peer <name> <program> <args...>: a peer whose output lands in $peers; sets peer_port
# and peer_pid.
loopback_peer() {
  start_peer "$peers" "$@" || fail "$1 did not start"
  pids+=("$peer_pid")
}
# write_settings <service port> <coordinate port>: settings pointing at those peers.
write_settings() {
  mkdir -p "$(dirname "$settings")"
  peer_settings "$1" "$2" "$device" >"$settings"
}
# with_peers <stub args...>: settings pointing at a fresh simulator (in $coordinates_mode, "data"
# if unset) and stub ("service"); sets coordinate_pid, and started to the time.
with_peers() {
  export TZ=UTC
  loopback_peer coordinates "$coordinate_simulator" "${coordinates_mode:-data}"
  local coordinate_port=$peer_port
  coordinate_pid=$peer_pid
  loopback_peer service "$tracking_stub" "$@"
  write_settings "$peer_port" "$coordinate_port"
  started=$(date -u +%s)
}
start_with_peers() {
  with_peers "$@"
  start_and_settle
}

# What the stub received: requests, and the sample times of its messages (or of files named).
posts_in() { grep -c '^POST ' "$1" || true; }
posts_at_least() { (($(posts_in "${2:-$peers/service.out}") >= $1)); }
posted() { grep -q "^POST .*device=$device" "$peers/service.out"; }
stamps_in() { sed -n 's/^        "data_position": "\(.*\)",$/\1/p' "$@"; }
delivered_stamps() { stamps_in "$peers/service.out"; }
delivered_at_least() { (($(delivered_stamps | wc -l) >= $1)); }
# expect_delivered <device>: the stub's first message, checked byte for byte, came to the
# service's address for that device with a sample time since $started.
expect_delivered() {
  # The first position becomes a message once a second one has arrived, about 30 s after start.
  wait_for 60 "a message delivered to the stub" grep -q '^}$' "$peers/service.out"
  grep -qx "POST /api/registers/hoz_dm/model/mob_device_service/objects?device=$1" "$peers/service.out" ||
    fail "the message went to another address"
  local message stamp stamp_seconds
  message=$(awk 'NR > 1 && !/^POST / { print } /^}$/ { exit }' "$peers/service.out")
  stamp=$(stamps_in <<<"$message")
  stamp_seconds=$(date -u -d "$stamp" +%s) || fail "no sample time in the message"
  ((stamp_seconds >= started && stamp_seconds <= $(date -u +%s))) || fail "sample time $stamp out of range"
  [ "$message" = "$(expected_message "$1" "$stamp")" ] || fail "the service received: $message"
}

# expect_tray_states <folder> <icon check>: with the agent started by start_with_peers, the
# tooltip, and the icon as the check finds it given a picture of globe_pictures: good after a
# delivery, failing while the service refuses, and while the coordinate server gives no answer.
expect_tray_states() {
  local folder=$1 icon_is=$2 service_address refusing_port n=$'\n'
  local time_pattern='[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}'
  service_address=$(tr -d '\r' <"$settings" | grep '^tracking_server_address=')
  loopback_peer refusing_service "$tracking_stub" http 503
  refusing_port=$peer_port
  globe_pictures "$folder"

  wait_until 20 "$icon_is" "$folder/plain.png" || fail "the icon at start is not the plain globe"
  wait_until 20 tooltip_matches "^Routewarden${n}No delivery yet${n}Waiting: 0, dropped: 0$" ||
    fail "tooltip at start: $tooltip"
  wait_for 60 "a message delivered to the stub" grep -q '^}$' "$peers/service.out"
  wait_until 20 tooltip_matches "^Routewarden${n}Last delivery: $time_pattern${n}Waiting: [01], dropped: 0$" ||
    fail "tooltip after a delivery: $tooltip"
  "$icon_is" "$folder/plain.png" || fail "the icon after a delivery is not the plain globe"
  shot good

  sleep 0.1 # a later modification time than the settings' first write: the file system's clock is coarse
  sed -i "s|^tracking_server_address=.*|tracking_server_address=http://127.0.0.1:$refusing_port/x|" "$settings"
  wait_for 30 "the refusing service tried" log_has "HTTP error code: 503."
  wait_until 20 "$icon_is" "$folder/marked.png" || fail "no red mark while deliveries fail"
  wait_until 20 tooltip_matches \
    "^Routewarden${n}Last delivery: $time_pattern${n}Waiting: [1-9], dropped: 0${n}Delivery failed: HTTP error code: 503\.$" ||
    fail "tooltip while deliveries fail: $tooltip"
  shot delivery-failing

  # Deliveries work again; the coordinate server goes silent: failing after three cycles.
  sed -i "s|^tracking_server_address=.*|$service_address|" "$settings"
  wait_until 30 tooltip_matches "^Routewarden${n}Last delivery: $time_pattern${n}Waiting: [0-9]+, dropped: 0$" ||
    fail "tooltip after deliveries resumed: $tooltip"
  wait_until 30 "$icon_is" "$folder/plain.png" || fail "the mark stayed after deliveries resumed"
  kill "$coordinate_pid"
  wait_until 60 "$icon_is" "$folder/marked.png" || fail "no red mark while the coordinate server is silent"
  wait_until 60 tooltip_matches "${n}Coordinate server not answering$" ||
    fail "tooltip while the coordinate server is silent: $tooltip"
  shot coordinates-failing
}
