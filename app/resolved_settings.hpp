#pragma once
// The one place where the values in force are decided, as the plain values each worker takes: the
// managed policy wins, then the user's settings file, then the defaults (the installer's presets
// over the built-in values). The workers never see the file or its keys.
#include <cstdint>
#include <vector>

#include <wx/confbase.h>

#include "app/managed_policy.hpp"
#include "app/settings_keys.hpp"
#include "coordinates/poller_settings.hpp"
#include "delivery/sender_settings.hpp"

// A value in force and where it came from: "policy", "file", "preset" or "built-in".
struct setting_row {
    wxString key;
    wxString value;
    wxString source;
};

struct telemetry_settings {
    bool enabled = false;
    std::uint16_t port = 0;
};

struct resolved_settings {
    poller_settings poller;
    sender_settings sender;
    telemetry_settings telemetry;
    // Every key of settings::all_keys, in that order, with its value in force as the workers take
    // it (a port as its number, a switch as 1 or 0) and its source.
    std::vector<setting_row> values;
    // One row for each value of the file that was refused; its key takes the default.
    std::vector<wxString> refused;
};

// The file's ports are checked here: coordinate_server_port must be a port number; telemetry_port is
// read by its leading decimal digits, which must give one.
resolved_settings resolve_settings(const managed_policy& policy, const wxConfigBase& file,
                                   const setting_defaults& defaults);
