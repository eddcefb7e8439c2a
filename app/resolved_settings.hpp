#pragma once
// The one place where the values in force are decided, from the user's settings file over the
// defaults (the installer's presets over the built-in values), as the plain values each worker
// takes. The workers never see the file or its keys.
#include <cstdint>

#include <wx/confbase.h>

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

resolved_settings resolve_settings(const wxConfigBase& file, const setting_defaults& defaults);
