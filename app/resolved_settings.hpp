#pragma once
// The one place where the values in force are decided, as the plain values each worker takes: the
// managed policy wins, then the user's settings file, then the defaults (the installer's presets
// over the built-in values). The workers never see the file or its keys.
#include <cstdint>

#include <wx/confbase.h>

#include "app/managed_policy.hpp"
#include "app/settings_keys.hpp"
#include "coordinates/poller_settings.hpp"
#include "delivery/sender_settings.hpp"

struct telemetry_settings {
    bool enabled = false;
    // "telemetry_port": its leading decimal digits, 0 when it does not begin with a digit. The
    // worker sends to its low 16 bits.
    std::uint32_t port = 0;
};

struct resolved_settings {
    poller_settings poller;
    sender_settings sender;
    telemetry_settings telemetry;
};

resolved_settings resolve_settings(const managed_policy& policy, const wxConfigBase& file,
                                   const setting_defaults& defaults);
