# Shell helpers shared by the demo and the desktop cases on Linux and under Wine: the loopback
# peers, the settings that point the agent at them, and the message their answer becomes.

# start_peer <folder> <name> <program> <args...>: the program as a loopback peer on any free port,
# its output in <folder>/<name>.out and .err; sets peer_pid, and peer_port to the port it chose
# (its first line of output). Returns 1, with the peer's errors, when it has not started in 10 s.
start_peer() {
  local folder=$1 name=$2 program=$3 i
  shift 3
  mkdir -p "$folder"
  "$program" --port 0 "$@" >"$folder/$name.out" 2>"$folder/$name.err" </dev/null &
  peer_pid=$!
  for ((i = 0; i < 200; i++)); do
    if [ -s "$folder/$name.out" ]; then
      peer_port=$(head -n1 "$folder/$name.out")
      return 0
    fi
    sleep 0.05
  done
  echo "$name did not start" >&2
  cat "$folder/$name.err" >&2
  return 1
}

# peer_settings <service port> <coordinate port> <device>: the settings file for those peers.
peer_settings() {
  cat <<SETTINGS
tracking_server_address=http://127.0.0.1:$1/api/registers/hoz_dm/model/mob_device_service/objects
coordinate_server_address=127.0.0.1
coordinate_server_port=$2
debug=0
device=$3
SETTINGS
}

# expected_message <device> <sample time>: the message that the simulator's "data" answer
# becomes in the UTC zone.
expected_message() {
  cat <<MESSAGE
{
    "entityType": "mob_device_service",
    "attributes": {
        "status_service": "WORKING",
        "device": "$1",
        "roadid": "Road 7",
        "railasset": "Signal 14",
        "stationway": "",
        "direction": "Northbound",
        "railway": "Riverside line",
        "railway_desc": "Riverside line",
        "rail_km": "12",
        "rail_pk": "1",
        "rail_m": "0",
        "speed_gps": "54.5",
        "data_position": "$2",
        "timezone": "+00:00",
        "accuracy_coord": "1",
        "x_coord": "37.728000000000002",
        "y_coord": "55.822000000000003",
        "software_version": "1.650"
    }
}
MESSAGE
}
