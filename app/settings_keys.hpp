#pragma once
// Keys of the per-user settings file (the managed policy's values take the same names) and the
// defaults. The default tracking address is used by the first-start write, the resolution of the
// values in force and the options dialog: keep it here only, so that the three agree.
#include <algorithm>
#include <string>
#include <vector>

#include <wx/string.h>

namespace settings {
constexpr const char* device = "device";
constexpr const char* tracking_server_address = "tracking_server_address";
constexpr const char* proxy_server_address = "proxy_server_address";
constexpr const char* coordinate_server_address = "coordinate_server_address";
constexpr const char* coordinate_server_port = "coordinate_server_port";
constexpr const char* debug = "debug";
constexpr const char* telemetry = "telemetry";
constexpr const char* telemetry_port = "telemetry_port";
// Every key, in the settings file's order: each can also be set by the machine's policy.
constexpr const char* all_keys[] = {tracking_server_address, proxy_server_address, coordinate_server_address,
                                    coordinate_server_port,  device,               debug,
                                    telemetry,               telemetry_port};

// Set by the policy only: 0 takes the item away from the driver's menus, anything else or nothing
// leaves it.
constexpr const char* allow_exit = "allow_exit";
constexpr const char* allow_setup = "allow_setup";
constexpr const char* menu_keys[] = {allow_exit, allow_setup};

constexpr const char* default_tracking_server_address =
    "http://127.0.0.1:8080/api/registers/hoz_dm/model/mob_device_service/objects";
constexpr const char* default_coordinate_server_address = "127.0.0.1";
constexpr const char* default_coordinate_server_port = "12500";
constexpr const char* default_telemetry_port = "50000";
}

// What the first-start write and the readers of missing keys take: the built-in values, unless the
// machine's installer preset others (app/presets.hpp). Made once by the application at start.
struct setting_defaults {
    wxString tracking_server_address = settings::default_tracking_server_address;
    wxString coordinate_server_address = settings::default_coordinate_server_address;
    wxString coordinate_server_port = settings::default_coordinate_server_port;
    wxString device;
    // The keys whose value here the installer preset rather than the built-in one.
    std::vector<std::string> preset_keys;

    bool preset(const char* key) const
    {
        return std::find(preset_keys.begin(), preset_keys.end(), key) != preset_keys.end();
    }
};
