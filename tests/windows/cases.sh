# The Windows cases, run under Wine by scripts/smoke-windows, which sets root, build, exe, helper,
# home, home_windows, settings and the native peers' programs (coordinate_simulator,
# tracking_stub), and for each case case_name, case_dir and peers (both the case's own folder, kept
# when it fails). Each case is a function case_<name>, run in a subshell of its own, in the order
# they are defined here (installer last: it installs into the prefix); the helpers are in
# tests/support/desktop_harness.sh.

# The platform's side of the harness.
device=windows-vehicle
# Wine docks the icon into the tray host's "panel" as a window of its own desktop process, not of
# the agent.
icon_owner='"explorer.exe"' ending_limit=10 menu_click_tries=1 menu_click_wait=10
launch_agent() {
  wine "$exe" >>"$case_dir/agent.out" 2>&1 &
  agent=$!
}
keep_failure_artifacts() {
  import -window root "$case_dir/screen.png" 2>/dev/null || true
  xwininfo -root -tree >"$case_dir/windows.txt" 2>&1 || true
  cp "$home"/Quillbank/log/* "$settings" "$case_dir/" 2>/dev/null || true
  echo "    screenshot, log file and output kept in $case_dir" >&2
}
# Wine docks the icon, but the docked window takes clicks from a synthetic pointer only now and
# then: the helper sends the icon's window what a double or right click on it would. The menu it
# opens, the dialogs and the windows take the real mouse. The helper also sends the main window
# its close box and asks the windows as Windows asks at the end of the session.
agent_windows() { wine "$helper" "$@" 2>/dev/null | tr -d '\r'; }
double_click_icon() { agent_windows double_click; }
open_tray_menu() { retry 6 "the tray menu open" menu_open agent_windows right_click; }
# The icon's menu: an unnamed window of the agent, about three items high.
menu_windows() { xdotool search --onlyvisible --name '^$' 2>/dev/null; }
menu_fits() { ((WIDTH > 40 && WIDTH < 300 && HEIGHT > 40 && HEIGHT < 120)); }
# The tooltip as the notification area keeps it.
tooltip=
tooltip_matches() {
  tooltip=$(agent_windows tooltip | sed '/^$/d')
  [[ $tooltip =~ $1 ]]
}

# retry <times> <description> <condition> <action...>: the action until the condition holds
# within 5 s of it: now and then a message to the icon's window under Wine has no effect.
retry() {
  local times=$1 what=$2 condition=$3 i
  shift 3
  for ((i = 0; i < times; i++)); do
    "$@"
    wait_until 5 "$condition" && return
  done
  fail "$what (after $times tries)"
}
show_window() { retry 6 "the window shown" main_window_shown double_click_icon; }
# As the system closes a program: a close request to its windows.
close_agent() { wine taskkill /IM routewarden.exe >/dev/null 2>&1 || fail "taskkill found no window to close"; }

# pixels_like <image> <colour>: how many of its pixels are of about that colour (text edges are
# smoothed).
pixels_like() {
  convert "$1" -fuzz 25% -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:int(mean*w*h)]' info:
}

# The cross-compiled test programs that need no display. Left out: cases that set POSIX time-zone
# rules through TZ (the Windows C library reads only its own short form, without rules; the time
# zone's effect on the message is checked by the delivery case through the prefix's zone) and the
# case that sets a POSIX locale (on Windows the user's encoding is the ANSI code page the system
# chose); the peer names, read in that code page, run under a Russian locale, whose code page is
# Windows-1251.
case_units() {
  local posix_only='coordinate_answer\.clock_fields_follow_the_time_zone|repeat_record\.keeps_the_position_and_restamps'
  posix_only+='|tracking_message\.railway_answer_in_several_zones|platform\.narrow_texts_keep_characters_beyond_ascii'
  posix_only+='|foreign_text\.peer_names_read_utf8_else_windows_1251'
  ctest --preset windows -E "$posix_only" --output-log "$case_dir/ctest.log" ||
    fail "unit tests failed (their output is in ctest.log)"
  LC_ALL=ru_RU.UTF-8 ctest --preset windows -R 'foreign_text\.peer_names' --output-log "$case_dir/ctest-ru.log" ||
    fail "peer names not read in the Russian code page (see ctest-ru.log)"
}

# event_written <type> <message id> <text>: the agent's write to the Application log. Wine keeps
# no log, but its traces give each write's type and id, then its text.
event_written() {
  grep -A1 -E "ReportEventW \([0-9A-F]+,$1,0x0000,$2," "$case_dir/agent.out" | grep -qF "ReportEventW L\"$3\""
}
project_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt"; }

# Settings and log file written in the Wine user's home; taskkill ends the agent the orderly way,
# and the start and the end are in the event log.
case_first_start() {
  WINEDEBUG=-all,+eventlog,fixme+advapi launch_agent
  wait_for 60 "settings file written" test -s "$settings"
  wait_for 60 "log file written" has_log_file
  wait_for 60 "the tray icon docked" icon_docked
  config_has "device=" || fail "no device in the settings file written at the first start"
  close_agent
  expect_orderly_end taskkill
  event_written 0x0004 0x400003e8 "Routewarden $(project_version) started, device []" || fail "no information event 1000 at start"
  event_written 0x0004 0x400003e9 "Routewarden ended normally" || fail "no information event 1001 at the end"
}

# The icon docked in the tray host, double click, "Log", "Setup" with an edit by hand while it is
# open, "Ok", "Exit".
case_tray() {
  # A coordinate server that cuts its answers short: every poll gives an error row.
  loopback_peer coordinates "$coordinate_simulator" short
  write_settings 1 "$peer_port"
  start_and_settle
  wait_for 30 "an error row" log_has "color='red'"
  not main_window_shown || fail "a window is shown after start"
  show_window
  double_click_icon
  # The second double click is handled before the menu below opens: the window must stay.
  tray_menu 1
  wait_for 10 "\"Log\" hid the window" not main_window_shown
  tray_menu 1
  wait_for 10 "\"Log\" showed the window" main_window_shown
  # The rows' colours, read off the screen. The test program's own colour check reads the view
  # back through a client DC, which under Wine finds no red pixels of an error row (the check of
  # the blue ones passes), so log_viewer_test does not run here; the screen shows both colours.
  local colour
  find_window Routewarden
  import -window "$window" "$case_dir/log.png"
  for colour in blue red; do
    (($(pixels_like "$case_dir/log.png" "$colour") > 20)) || fail "no $colour rows on the screen"
  done
  rm "$case_dir/log.png"
  xdotool windowminimize "$window"
  wait_for 10 "minimising hid the window" not main_window_shown
  show_window

  open_setup
  # An edit by hand while the dialog is open is noticed; the dialog keeps working on its own,
  # and "Ok" writes only what was changed in it.
  sed -i 's/^debug=0\r\?$/debug=1/' "$settings"
  wait_for 10 "the edit by hand noticed" log_has "Configuration changed"
  # Where the dialog's cell and button are on Linux.
  set_device "$window" LOCO-7
  wait_for 10 "the dialog saved the device" config_has "device=LOCO-7"
  config_has "debug=1" || fail "\"Ok\" undid the edit by hand"
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# A position delivered to the native simulator and stub, the message checked byte for byte.
case_delivery() {
  start_with_peers accept
  expect_delivered "$device"
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# A reload while a delivery to a service that never answers is in flight; every window agrees to
# the end of the session.
case_reload_while_delivery_hangs() {
  start_with_peers hang
  wait_for 60 "a delivery in flight" posted
  sed -i 's/^debug=0\r\?$/debug=1/' "$settings"
  wait_for 30 "the reload's row" log_has "Configuration changed"
  wait_for 30 "the reloaded coordinate server's row" log_has "Coordinate server: 127.0.0.1:"
  expect_reload_rows "the reload"
  # As Windows asks at sign-out: a refusal would cancel the shutdown.
  local answers
  answers=$(agent_windows query)
  [[ $answers == *" windows, 0 refused" ]] || fail "a window refused the end of the session: $answers"
  tray_menu 3
  expect_orderly_end "\"Exit\" with a delivery in flight"
}

# "Setup" chosen twice gives one dialog; "Exit" with it open. On Windows a modal dialog disables
# only the windows shown, so the icon and a window hidden when the dialog opened stay usable. Under
# Wine the icon's menu does not open while the dialog runs, so the second "Setup" and the "Exit"
# come from the hidden window's own menu, which calls the same handlers.
case_setup_twice() {
  start_and_settle
  open_setup
  # The window's menu commands by the toolkit's standard ids: Setup 5022 (preferences), Exit 5006.
  agent_windows menu 5022
  # Then the double click: the two are handled in order, so any second dialog is up by then.
  show_window
  [ "$(windows_titled Setup | wc -l)" -eq 1 ] || fail "\"Setup\" chosen twice gave two dialogs"
  agent_windows menu 5006
  expect_orderly_end "\"Exit\" with the dialog open"
}

# The window's close box with the dialog open.
case_close_box_with_dialog() {
  start_and_settle
  open_setup
  show_window
  agent_windows close
  expect_orderly_end "the close box with the dialog open"
}

# Wineboot's end of the session, without and with the dialog, and an installer's close request.
case_end_of_session() {
  local dialog answers
  for dialog in without with; do
    start_and_settle
    [ "$dialog" = without ] || open_setup
    wine wineboot --end-session >/dev/null 2>&1 || fail "the session's end was refused ($dialog the dialog)"
    expect_orderly_end "the end of the session $dialog the dialog"
  done
  # As the Restart Manager closes the agent for an installer that replaces its program: the
  # same messages, marked as closing only this program.
  start_and_settle
  answers=$(agent_windows close_app)
  [[ $answers == *" windows, 0 refused" ]] || fail "a window refused the installer's close request: $answers"
  expect_orderly_end "the installer's close request"
}

# The outbox file held unshared by another program: one red row, and positions are still
# delivered, from memory.
case_outbox_held() {
  mkdir -p "$home/Quillbank/routewarden"
  wine "$helper" hold "$home_windows\\Quillbank\\routewarden\\outbox.sqlite" >"$case_dir/holder.out" 2>&1 &
  pids+=($!)
  wait_for 30 "the outbox file held by the helper" grep -q '^held' "$case_dir/holder.out"
  start_with_peers accept
  wait_for 60 "a message delivered to the stub" grep -q '^}$' "$peers/service.out"
  log_has "unable to open database file" || fail "no row gives the outbox's reason"
  local red
  red=$(rows_like "color='red'")
  ((red == 1)) || fail "$red red rows, not one"
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# Ended by "taskkill /F" while the service is down; the next start sends the waiting messages
# first, in order, none twice.
red_rows_at_least() { (($(rows_like "color='red'") >= $1)); }
case_outbox_after_kill() {
  loopback_peer coordinates "$coordinate_simulator" data
  local coordinate_port=$peer_port
  # No service at all: each hand-off is followed by a failed delivery, and the messages wait.
  write_settings 1 "$coordinate_port"
  start_and_settle
  wait_for 90 "two failed deliveries" red_rows_at_least 2
  wine taskkill /F /IM routewarden.exe >/dev/null 2>&1 || fail "taskkill /F found no agent"
  wait_for 10 "the agent ended by taskkill /F" process_ended "$agent"
  local killed restored stamp previous=0 seconds
  killed=$(date -u +%s)
  loopback_peer service "$tracking_stub" accept
  write_settings "$peer_port" "$coordinate_port"
  start_and_settle
  wait_for 30 "the row of the restored messages" log_has "Messages waiting from the last run: "
  restored=$(log_text | sed -n 's/.*Messages waiting from the last run: \([0-9]*\).*/\1/p')
  ((restored >= 2)) || fail "$restored messages restored, not two or more"
  wait_for 60 "the $restored restored messages and one more delivered" delivered_at_least $((restored + 1))
  while read -r stamp; do
    seconds=$(date -u -d "$stamp" +%s) || fail "no sample time in a message"
    ((seconds > previous)) || fail "the message of $stamp came out of order or twice"
    previous=$seconds
  done < <(delivered_stamps)
  stamp=$(delivered_stamps | sed -n "${restored}p")
  (($(date -u -d "$stamp" +%s) <= killed)) || fail "the restored messages did not come first: $(delivered_stamps)"
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# The icon's window shows more than one colour: Wine has painted it.
icon_painted() {
  local g
  read -ra g <<<"$(tray_icon_geometry)"
  ((${#g[@]} == 4)) || return 1
  import -window root -crop "${g[0]}x${g[1]}+${g[2]}+${g[3]}" +repage "$case_dir/painted.png" 2>/dev/null &&
    (($(convert "$case_dir/painted.png" -format %k info:) > 1))
}

# The icon's tooltip and pixels through the agent's states.
case_tray_state() {
  # Wine now and then leaves a newly docked icon unpainted for good, whatever it is asked to paint
  # later (so it did before the icon had states), more often when icons were docked before: the
  # agent is started again, in a new Wine session, until its icon shows. After 6 unpainted starts
  # the pixels are left unchecked, said so, and the tooltips are still checked. A start whose
  # notification area gives no tooltip at all (its desktop process stopped answering) is another
  # bad start.
  local try painted=0 answered
  for ((try = 1; try <= 6; try++)); do
    if ((try == 1)); then start_with_peers accept; else start_and_settle; fi
    answered=0
    wait_until 20 agent_windows tooltip >/dev/null && answered=1
    ((answered)) && wait_until 10 icon_painted && painted=1 && break
    ((try < 6)) || break
    close_agent
    expect_orderly_end taskkill
    wineserver -k
    wineserver -w
  done
  ((answered)) || fail "the notification area gave no tooltip in 6 starts"
  ((painted)) || echo "     tray_state: Wine left the icon unpainted in 6 starts; its pixels are not checked" >&2
  # icon_is <reference>: the icon's pixels, when Wine paints them.
  icon_is() { ((!painted)) || icon_looks_like "$1"; }
  expect_tray_states "$case_dir" icon_is
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# A notification area that refuses icons at start, as at sign-in, takes them by itself (the
# agent's next try adds the icon) or after announcing a new taskbar (Wine adds it again as last
# asked): either way the icon shows the state after a delivery, not the one at start, with one
# blue row.
case_tray_late_shell() {
  local way delivered n=$'\n'
  with_peers accept
  for way in announce quietly; do
    wine "$helper" busy_shell "$way" >"$case_dir/shell.out" 2>&1 &
    pids+=($!)
    wait_for 30 "the refusing notification area up" grep -q '^busy' "$case_dir/shell.out"
    rm -f "$home"/Quillbank/log/*
    delivered=$(delivered_stamps | wc -l)
    launch_agent
    wait_for 60 "a delivery while icons are refused ($way)" delivered_at_least $((delivered + 1))
    wine taskkill /IM agent_windows.exe >/dev/null 2>&1 && wait "${pids[-1]}" || fail "no busy shell to close"
    wait_for 60 "the tray icon docked ($way)" icon_docked
    wait_until 30 tooltip_matches "^Routewarden${n}Last delivery: " || fail "tooltip once docked ($way): $tooltip"
    wait_for 30 "the blue row ($way)" log_has "Tray icon shown"
    [ "$(log_text | grep -o 'Tray icon [a-z ]*' | tr '\n' /)" = "Tray icon could not be shown/Tray icon shown/" ] ||
      fail "not one red, then one blue row ($way)"
    tray_menu 3
    expect_orderly_end "\"Exit\" ($way)"
  done
}

# The administrator's policy, as Group Policy writes it: set_policy <name> <REG_SZ|REG_DWORD> <data>.
# scripts/smoke-windows removes the key before each case.
# A home folder elsewhere, as a domain account's on a file server (HOMEPATH in the session's
# volatile environment): the settings found only there move once into the local profile, with a
# blue row, and the agent delivers with them; the logs stay where they were.
case_former_home() {
  local volatile='HKCU\Volatile Environment' former=$home/former
  with_peers accept
  mkdir -p "$former/Quillbank/config" "$former/Quillbank/log"
  mv "$settings" "$former/Quillbank/config/.routewarden"
  echo '<html>' >"$former/Quillbank/log/routewarden[1].html"
  local own='\users\'"$(basename "$home")"
  wine reg add "$volatile" /v HOMEPATH /d "$own\former" /f >/dev/null 2>&1 || fail "HOMEPATH not set"
  trap "kill_started TERM; wine reg add '$volatile' /v HOMEPATH /d '$own' /f >/dev/null 2>&1" EXIT
  launch_agent
  wait_for 60 "the move's row" log_has "Moved to the local profile: "
  test -f "$settings" || fail "the settings file not in the local profile"
  not test -e "$former/Quillbank/config/.routewarden" || fail "the settings file left at the former place"
  test -f "$former/Quillbank/log/routewarden[1].html" || fail "the former logs moved"
  expect_delivered "$device"
  close_agent
  expect_orderly_end taskkill
}

policy_key='HKLM\SOFTWARE\Policies\Quillbank\Routewarden'
set_policy() {
  wine reg add "$policy_key" /v "$1" /t "$2" /d "$3" /f /reg:64 >/dev/null 2>&1 || fail "the policy $1 not written"
}
service_address() { echo "http://127.0.0.1:$1/api/registers/hoz_dm/model/mob_device_service/objects"; }

# The policy's tracking address wins over the user's file from the start, its device ID expanded;
# a refused value has its row and leaves the user's; a change while running is taken within about a
# minute; the dialog shows the managed field read-only, and typing into it changes nothing in the
# file; without Exit allowed the close box only hides the window.
case_policy() {
  loopback_peer managed_service "$tracking_stub" accept
  local managed_port=$peer_port
  loopback_peer changed_service "$tracking_stub" accept
  local changed_port=$peer_port
  with_peers accept
  set_policy tracking_server_address REG_SZ "$(service_address "$managed_port")"
  set_policy coordinate_server_port REG_DWORD 0
  # One policy for every vehicle: an expandable text, expanded when read.
  set_policy device REG_EXPAND_SZ '%COMPUTERNAME%-7'
  local users_file expanded
  expanded=$(wine cmd /c 'echo %COMPUTERNAME%' 2>/dev/null | tr -d '\r')-7
  users_file=$(cat "$settings")
  start_and_settle
  wait_for 30 "the managed keys' row" log_has "Set by your administrator: tracking_server_address"
  log_has "Policy coordinate_server_port [0] refused: " || fail "no row refuses the port 0"
  expect_delivered "$expanded" managed_service

  set_policy tracking_server_address REG_SZ "$(service_address "$changed_port")"
  wait_for 90 "the policy's change taken" log_has "Policy changed"
  wait_for 10 "the changed service's address row" log_has "Service address: $(service_address "$changed_port")"
  wait_for 60 "a message delivered to the changed policy's service" grep -q '^}$' "$peers/changed_service.out"
  ! posted || fail "the user's own service received a message"

  open_setup
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The tracking service's "Address" value cell, two rows below "Device ID" (as set_device finds
  # it), typed in; then "Ok".
  xdotool mousemove --window "$window" 300 79 click 1 sleep 0.5 click 1
  xdotool type --delay 20 typed-by-hand
  xdotool key Return
  shot setup-with-managed-address
  xdotool mousemove --window "$window" $((WIDTH - 159)) $((HEIGHT - 24)) click 1
  wait_for 10 "the dialog closed by \"Ok\"" not window_shown Setup
  [ "$(cat "$settings")" = "$users_file" ] || fail "the dialog changed the user's file: $(cat "$settings")"
  # The driver's menu policies: the close box then only hides; the system's close still ends it.
  set_policy allow_exit REG_DWORD 0
  set_policy allow_setup REG_DWORD 0
  wait_for 90 "the menu policies taken" log_has "device, allow_exit, allow_setup"
  show_window
  agent_windows close
  wait_for 10 "the window hidden by its close box" not main_window_shown
  not process_ended "$agent" || fail "the close box ended the agent while Exit is not allowed"
  close_agent
  expect_orderly_end "taskkill"
}

# "Save diagnostics…" from the window's "File" menu, the folder dialog taken as it opens (the
# desktop): the zip holds the week's logs but not an older one, the credentials in them masked,
# the settings, the values and refusals, the versions and the newest 20 of 22 dump pairs.
case_diagnostics() {
  local logs=$home/Quillbank/log dumps=$home/Quillbank/routewarden stamp
  mkdir -p "$logs" "$dumps"
  # Two earlier runs' logs, told apart from this run's by modification time, and one beyond the
  # week (which the clean-up at start removes too); the log checks take this run's.
  log_file() { compgen -G "$logs/routewarden\[*\].html" | grep -vF '[9000' | head -n1; }
  echo '<html>' >"$logs/routewarden[9000000000111].html"
  touch -d '-8 days' "$logs/routewarden[9000000000111].html"
  echo '<html>' >"$logs/routewarden[9000001800111].html"
  touch -d '-2 hours' "$logs/routewarden[9000001800111].html"
  echo '<p>Service address: https://u:p@host/x</p>' >"$logs/routewarden[9000003600222].html"
  touch -d '-1 hour' "$logs/routewarden[9000003600222].html"
  for ((stamp = 1000; stamp < 1022; stamp++)); do
    echo '{}' >"$dumps/msg_$stamp.json"
    echo '{}' >"$dumps/res_$stamp.json"
  done
  # A desktop of the prefix's own rather than a link to the Linux home.
  rm -f "$home/Desktop"
  mkdir -p "$home/Desktop"
  with_peers accept
  launch_agent
  wait_for 60 "the tray icon docked" icon_docked
  wait_for 60 "the start-up rows" rows_at_least 5
  show_window
  find_window Routewarden
  # "File" in the window's menu bar by the mouse, then its second item by the keyboard.
  xdotool mousemove --window "$window" 20 10 sleep 0.1 click 1
  wait_for 10 "the \"File\" menu open" menu_open
  xdotool key Down Down Return
  # Wine's folder dialog keeps a title of its own, and takes the folder it shows (the desktop)
  # only by name: "." typed into its name box, at the bottom right.
  find_window "Select Folder"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" $((WIDTH - 300)) $((HEIGHT - 45)) sleep 0.1 click 1
  xdotool type --delay 20 '.'
  xdotool key Return
  wait_for 30 "the blue row" log_has "Diagnostics saved: "
  local saved zip listing entry
  saved=$(log_text | grep -o 'Diagnostics saved: [^<]*' | cut -d' ' -f3-)
  [[ $saved == *'\Desktop\routewarden-diagnostics-'*.zip ]] || fail "saved elsewhere: $saved"
  zip=$(wine winepath -u "$saved" 2>/dev/null | tr -d '\r')
  listing=$(unzip -Z1 "$zip") || fail "no zip at $zip"
  printf '%s\n' "$listing" >"$case_dir/zip.txt"
  for entry in about.txt values.txt refused.txt settings/.routewarden "log/$(basename "$(log_file)")" \
    'log/routewarden[9000003600222].html' 'log/routewarden[9000001800111].html' dumps/msg_1002.json \
    dumps/res_1021.json; do
    grep -qxF -- "$entry" <<<"$listing" || fail "$entry missing from the zip (its list is in zip.txt)"
  done
  for entry in 'log/routewarden[9000000000111].html' dumps/msg_1001.json; do
    not grep -qxF -- "$entry" <<<"$listing" || fail "$entry in the zip"
  done
  (($(grep -c '^dumps/' <<<"$listing") == 40)) || fail "not 20 dump pairs in the zip"
  unzip -p "$zip" about.txt | grep -q '^OS: Windows' || fail "no OS in about.txt"
  unzip -p "$zip" about.txt | grep -q '^Messages waiting in the outbox: [0-9]' || fail "no outbox count in about.txt"
  unzip -p "$zip" about.txt | grep -q '^Installed: ' || fail "no installed version in about.txt"
  (($(unzip -p "$zip" values.txt | wc -l) == 9)) || fail "not every key in values.txt"
  unzip -p "$zip" 'log/routewarden\[9000003600222\].html' | grep -qF 'https://***@host/x' ||
    fail "the credentials in the log were not masked"
  tray_menu 3
  expect_orderly_end "\"Exit\""
}

# The build's signing step on copies of the program and installer, with a throwaway code-signing
# certificate whose key is encrypted: Authenticode accepts both against that certificate alone,
# and the installer's tables still read.
case_signing() {
  local version package file
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  package=$build/routewarden-$version-x64.msi
  openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Routewarden throwaway signer" \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
    -keyout "$case_dir/key.pem" -out "$case_dir/cert.pem" -passout pass:throwaway 2>/dev/null ||
    fail "no throwaway certificate"
  cp "$exe" "$package" "$case_dir/"
  ROUTEWARDEN_SIGN_CERT=$case_dir/cert.pem ROUTEWARDEN_SIGN_KEY=$case_dir/key.pem ROUTEWARDEN_SIGN_PASS=throwaway \
    bash "$root/scripts/sign-windows" "$case_dir/routewarden.exe" "$case_dir/${package##*/}" >"$case_dir/sign.out" 2>&1 ||
    fail "the signing step failed: $(cat "$case_dir/sign.out")"
  for file in "$case_dir/routewarden.exe" "$case_dir/${package##*/}"; do
    osslsigncode verify -CAfile "$case_dir/cert.pem" -in "$file" >"$file.verify" 2>&1 ||
      fail "${file##*/} not accepted as signed: $(tail -n3 "$file.verify")"
  done
  [ -n "$(msi_property "$case_dir/${package##*/}" ProductCode)" ] || fail "the signed installer's tables do not read"
}

# The machine's registry as the 64-bit agent sees it: reg_value <key> <name> gives the data.
reg_value() {
  wine reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^    $2    REG_[A-Z_]*    //p"
}
reg_key_exists() { wine reg query "$1" /reg:64 >/dev/null 2>&1; }
# installer_action <msiexec option> <package> <property=value...>: silent and without a restart of
# the computer, as a fleet's tools run it, its log kept in the case's folder; prints its time in
# milliseconds. Any exit code but 0
# fails, a reboot request (3010, 1641) among them.
installer_action() {
  local package log start status=0
  package=$(wine winepath -w "$2" 2>/dev/null | tr -d '\r')
  log=$(wine winepath -w "$case_dir/msiexec${1#/}-$(basename "$2").log" 2>/dev/null | tr -d '\r')
  start=$(date +%s%N)
  wine msiexec "$1" "$package" /qn /norestart /l*v "$log" "${@:3}" >>"$case_dir/msiexec.out" 2>&1 || status=$?
  ((status == 0)) || fail "msiexec $1 $(basename "$2") ended with $status"
  echo $((($(date +%s%N) - start) / 1000000))
}
# one_product <after what>: sets products to the registry key of the one product named Routewarden.
one_product() {
  products=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
    tr -d '\r' | awk '/^HKEY/ { key = $0 } /^    DisplayName    REG_SZ    Routewarden$/ { print key }')
  [ "$(printf '%s\n' "$products" | grep -c .)" -eq 1 ] || fail "installed products after $1: $products"
}
# msi_table <package> <table>: the rows of one of the package's tables, tab-separated. msiinfo
# writes a table's binary data into a folder of the table's name: the case's own.
msi_table() { (cd "$case_dir" && msiinfo export "$1" "$2") | tr -d '\r'; }
# msi_property <package> <name>: the value in the package's Property table.
msi_property() { msi_table "$1" Property | sed -n "s/^$2\t//p"; }
# delivered_since <seconds since the epoch>: the last message delivered has a sample time as late.
delivered_since() { (($(date -u -d "$(delivered_stamps | tail -n1)" +%s) >= $1)); }
# Linux ids of the installed agent's processes in this prefix (other prefixes may run agents too).
installed_agents() {
  local pid
  for pid in $(pgrep -f 'Quillbank.Routewarden.routewarden\.exe'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}
installed_agent_running() { [ -n "$(installed_agents)" ]; }
# The program's Start-menu entry: Wine places it in the installing user's menu, Windows in the
# machine's.
start_menu_entry() {
  local menu
  for menu in "$WINEPREFIX"/drive_c/ProgramData "$WINEPREFIX"/drive_c/users/*/AppData/Roaming; do
    menu+="/Microsoft/Windows/Start Menu/Programs/Routewarden.lnk"
    [ ! -f "$menu" ] || echo "$menu"
  done
}
seconds() { printf '%d.%03d s' $(($1 / 1000)) $(($1 % 1000)); }

# The package's tables (secure properties, same-version upgrade row, the components of the
# Start-menu entry and of the Run value with its condition, icon, maker, help link) and the
# templates' zip; a silent install with the fleet's presets and the policy templates, listed with
# its maker, help link and icon, the agent started by the machine's Run value as at logon and
# delivering with them; with it running, a rebuilt package of the same version with AUTOSTART=0
# and an upgrade to the next one that keeps it, each leaving one product without a reboot
# request, the agent delivering after them; an uninstall; prints the package's size and the
# times. Last: it installs into the prefix.
case_installer() {
  local version next package rebuilt_package next_package
  version=$(project_version)
  next=${version%%.*}.$((10#${version#*.} + 1))
  package=$build/routewarden-$version-x64.msi
  rebuilt_package=$build/tests/windows/routewarden-$version-rebuilt-x64.msi
  next_package=$build/tests/windows/routewarden-$next-x64.msi
  [ -f "$package" ] && [ -f "$rebuilt_package" ] && [ -f "$next_package" ] ||
    fail "no $package, $rebuilt_package or $next_package: run scripts/build-windows"
  # What wixl cannot write, the build set in the tables: the properties an elevated installation
  # keeps, and an upgrade row that takes in this very version.
  local secure='TRACKING_SERVER_ADDRESS;COORDINATE_SERVER_ADDRESS;COORDINATE_SERVER_PORT;DEVICE;'
  secure+='INSTALLED_TRACKING_SERVER_ADDRESS;INSTALLED_COORDINATE_SERVER_ADDRESS;INSTALLED_COORDINATE_SERVER_PORT;'
  secure+='INSTALLED_DEVICE;AUTOSTART;INSTALLED_AUTOSTART;WIX_UPGRADE_DETECTED;WIX_DOWNGRADE_DETECTED'
  [ "$(msi_property "$package" SecureCustomProperties)" = "$secure" ] ||
    fail "secure properties: $(msi_property "$package" SecureCustomProperties)"
  # The Start-menu entry and the Run value in components of their own, the Run value's only when
  # AUTOSTART is not 0; the icon, maker and support address of the list of installed programs.
  msi_table "$package" Component | grep -qP '^start_menu\t\{4A859D95-B090-4F6B-A9E3-6E2B134B8A2E\}\tTARGETDIR\t260\t\treg' ||
    fail "no start_menu component of its own: $(msi_table "$package" Component)"
  local run_row
  run_row=$(msi_table "$package" Component | grep -P '^autostart\t\{29784FD0-8D40-4BC4-AB2C-7A73F202CB95\}\tTARGETDIR\t260\tAUTOSTART <> "0"\t') ||
    fail "no autostart component under its condition: $(msi_table "$package" Component)"
  msi_table "$package" Registry | grep -qP "^${run_row##*$'\t'}\t2\tSoftware\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\tRoutewarden\t" ||
    fail "the autostart component's key path is not the Run value"
  [ "$(msi_property "$package" ARPPRODUCTICON)" = routewarden.ico ] && msi_table "$package" Icon | grep -q '^routewarden\.ico\s' ||
    fail "no product icon"
  local help_link
  help_link=$(sed -n 's/^ROUTEWARDEN_HELP_LINK:STRING=//p' "$build/CMakeCache.txt")
  [ -n "$help_link" ] && [ "$(msi_property "$package" ARPHELPLINK)" = "$help_link" ] || fail "the help link is not $help_link"
  [ "$(msi_property "$package" Manufacturer)" = Quillbank ] || fail "the maker is not Quillbank"
  local templates=(quillbank.admx en-US/quillbank.adml ru-RU/quillbank.adml
    routewarden.admx en-US/routewarden.adml ru-RU/routewarden.adml)
  [ "$(unzip -Z1 "$build/routewarden-$version-policy-templates.zip" | sort)" = "$(printf '%s\n' "${templates[@]}" | sort)" ] ||
    fail "the templates' zip holds: $(unzip -Z1 "$build/routewarden-$version-policy-templates.zip")"
  msi_table "$package" Upgrade |
    grep -qP "^\{[-0-9A-F]+\}\t\t${version%%.*}\.0\.${version#*.}\t\t513\t\tWIX_UPGRADE_DETECTED$" ||
    fail "no upgrade row up to this version inclusive: $(msi_table "$package" Upgrade)"
  # The agents closed before any file is removed or replaced (Wine runs the deferred actions
  # late, so only the table shows it) and started after the new files are in place.
  local order
  order=$(msi_table "$package" InstallExecuteSequence | tr -d '\r' | sort -t$'\t' -k3 -n | cut -f1 |
    grep -xE 'close_agents|RemoveExistingProducts|RemoveFiles|InstallFiles|start_agents' | xargs)
  [ "$order" = "close_agents RemoveExistingProducts RemoveFiles InstallFiles start_agents" ] ||
    fail "the agents' actions out of order: $order"
  local programs="$WINEPREFIX/drive_c/Program Files/Quillbank"
  local presets_key='HKLM\SOFTWARE\Quillbank\routewarden'
  local run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
  # The detection rule that holds for any build (README): the packed upgrade code's key.
  local upgrade_code_key='HKLM\Software\Classes\Installer\UpgradeCodes\A29C622F23A1E704D9B93847640310F3'

  loopback_peer coordinates "$coordinate_simulator" data
  local coordinate_port=$peer_port
  loopback_peer service "$tracking_stub" accept
  local service_port=$peer_port device=fleet-vehicle-7
  local -A presets=(
    [tracking_server_address]=http://127.0.0.1:$service_port/api/registers/hoz_dm/model/mob_device_service/objects
    [coordinate_server_address]=127.0.0.1 [coordinate_server_port]=$coordinate_port [device]=$device)
  local install_ms upgrade_ms uninstall_ms key
  install_ms=$(installer_action /i "$package" TRACKING_SERVER_ADDRESS="${presets[tracking_server_address]}" \
    COORDINATE_SERVER_ADDRESS="${presets[coordinate_server_address]}" \
    COORDINATE_SERVER_PORT="${presets[coordinate_server_port]}" DEVICE="$device")
  [ -f "$programs/Routewarden/routewarden.exe" ] && [ -f "$programs/Routewarden/ru/LC_MESSAGES/routewarden.mo" ] ||
    fail "the program or its catalogue not installed"
  local template
  for template in "${templates[@]}"; do
    cmp -s "$programs/Routewarden/policies/$template" "$root/windows/policies/$template" ||
      fail "policy template $template not installed"
  done
  [ "$(strings -el "$programs/Routewarden/routewarden.exe" | grep -A1 -x FileVersion | tail -n1)" = "$version" ] ||
    fail "the program's version resource is not $version"
  local run
  run=$(reg_value "$run_key" Routewarden)
  [ "$run" = '"C:\Program Files\Quillbank\Routewarden\routewarden.exe"' ] || fail "the Run value is [$run]"
  for key in "${!presets[@]}"; do
    [ "$(reg_value "$presets_key" "$key")" = "${presets[$key]}" ] || fail "preset $key not stored"
  done
  # The event source: its values' types in the package, their data as installed.
  local events_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Routewarden'
  msiinfo export "$package" Registry | tr -d '\r' | grep -F "${events_key#HKLM\\}" >"$case_dir/events.txt"
  grep -qP '\tEventMessageFile\t#%\[INSTALLFOLDER\]routewarden\.exe\t' "$case_dir/events.txt" &&
    grep -qP '\tTypesSupported\t#7\t' "$case_dir/events.txt" || fail "event source rows: $(cat "$case_dir/events.txt")"
  [ "$(reg_value "$events_key" EventMessageFile)" = 'C:\Program Files\Quillbank\Routewarden\routewarden.exe' ] &&
    [ "$(reg_value "$events_key" TypesSupported)" = 0x7 ] || fail "the event source not registered"
  local entry
  entry=$(start_menu_entry)
  [ -n "$entry" ] && grep -qaF 'Quillbank\Routewarden\routewarden.exe' "$entry" || fail "no Start-menu entry for the program"
  local products
  one_product "the install"
  [ "$(reg_value "$products" Publisher)" = Quillbank ] && [ "$(reg_value "$products" HelpLink)" = "$help_link" ] ||
    fail "the list of installed programs lacks the maker or help link: $(wine reg query "$products" /reg:64 | tr -d '\r')"
  cmp -s "$WINEPREFIX/drive_c/windows/Installer/${products##*\\}/routewarden.ico" "$build/bin/routewarden.ico" ||
    fail "the product's icon not published"
  reg_key_exists "$upgrade_code_key" || fail "no key of the upgrade code"

  # As at logon: wineboot starts what the Run keys name, as Windows does when a user logs on.
  started=$(date -u +%s)
  wine wineboot >/dev/null 2>&1 || fail "wineboot failed"
  wait_for 30 "the agent started by the Run value" installed_agent_running
  wait_for 60 "the settings file written at the first start" test -s "$settings"
  local first_start
  first_start=$(tr -d '\r' <"$settings")
  [ "$first_start" = "$(peer_settings "$service_port" "$coordinate_port" "$device")" ] ||
    fail "the first-start settings file does not hold the presets: $first_start"
  expect_delivered "$device"

  # With the agent running and a second user's beside it (started here, so that its exit code is
  # seen): the same version rebuilt (a product code of its own) replaces the installed one rather
  # than adding a second product. It ends both agents the orderly way, their outboxes closed, and
  # starts one again in the session (Wine has one); AUTOSTART=0 leaves the Run value out.
  local agents second_home=$WINEPREFIX/drive_c/users/second
  agents=$(installed_agents)
  wine "$helper" as_user second 'C:\Program Files\Quillbank\Routewarden\routewarden.exe' >>"$case_dir/second.out" 2>&1 &
  agent=$!
  wait_for 60 "the second user's outbox" test -f "$second_home/Quillbank/routewarden/outbox.sqlite"
  installer_action /i "$rebuilt_package" AUTOSTART=0 >/dev/null
  expect_clean_end "the reinstall's close request"
  local user_home
  for user_home in "$home" "$second_home"; do
    [ "$(tr -d '\r' <"$(compgen -G "$user_home/Quillbank/log/routewarden\[*\].html" | head -n1)" | tail -n1)" = "</tr>" ] ||
      fail "the log in $user_home does not end with a whole row after the reinstall"
    [ ! -e "$user_home/Quillbank/routewarden/outbox.sqlite-wal" ] || fail "the outbox in $user_home left open"
  done
  wait_for 30 "an agent started again after the reinstall" installed_agent_running
  [ "$(installed_agents)" != "$agents" ] || fail "the reinstall did not close the agent"
  one_product "the reinstall"
  [ "${products##*\\}" = "$(msi_property "$rebuilt_package" ProductCode)" ] ||
    fail "the rebuilt package is not the one installed"
  [ -z "$(reg_value "$run_key" Routewarden)" ] || fail "AUTOSTART=0 kept the Run value"
  [ -n "$(start_menu_entry)" ] || fail "AUTOSTART=0 took the Start-menu entry"

  # The next version, without properties, with the agent running: it replaces this one, keeps
  # the presets and AUTOSTART=0, asks for no reboot, and the agent goes on delivering.
  upgrade_ms=$(installer_action /i "$next_package")
  local upgraded
  upgraded=$(date -u +%s)
  one_product "the upgrade"
  [ "$(reg_value "$products" DisplayVersion)" = "${next%%.*}.0.${next#*.}" ] || fail "the upgrade did not install $next"
  [ "$(find "$WINEPREFIX/drive_c" -iname routewarden.exe | wc -l)" -eq 1 ] || fail "more than one copy installed"
  [ -n "$(start_menu_entry)" ] || fail "the upgrade lost the Start-menu entry"
  [ -z "$(reg_value "$run_key" Routewarden)" ] || fail "the upgrade did not keep AUTOSTART=0"
  for key in "${!presets[@]}"; do
    [ "$(reg_value "$presets_key" "$key")" = "${presets[$key]}" ] || fail "the upgrade lost preset $key"
  done
  wait_for 30 "the agent running after the upgrade" installed_agent_running
  wait_for 90 "a position taken after the upgrade delivered" delivered_since "$upgraded"
  # The uninstall, with the agent running, ends it and starts none.
  uninstall_ms=$(installer_action /x "$next_package")
  not installed_agent_running || fail "an agent runs after the uninstall"
  [ -z "$(find "$programs" -type f 2>/dev/null)" ] || fail "files left under Program Files: $(find "$programs" -type f)"
  [ -z "$(reg_value "$run_key" Routewarden)" ] || fail "the Run value left behind"
  ! reg_key_exists "$presets_key" || fail "the presets left behind"
  ! reg_key_exists "$events_key" || fail "the event source left behind"
  ! reg_key_exists "$upgrade_code_key" || fail "the upgrade code's key left behind"
  [ -z "$(start_menu_entry)" ] || fail "the Start-menu entry left behind"
  [ "$(tr -d '\r' <"$settings")" = "$first_start" ] && has_log_file || fail "the user's settings or log went"
  echo "    package $(stat -c %s "$package") bytes; install $(seconds "$install_ms"), upgrade $(seconds "$upgrade_ms"), uninstall $(seconds "$uninstall_ms")"
}
