#pragma once
// A fleet's presets: the values the installer stores for the whole machine, which take the place
// of the built-in defaults. A user's own settings file still wins over them.
#include <functional>
#include <vector>

#include <wx/string.h>

#include "app/platform.hpp"
#include "app/settings_keys.hpp"

struct preset_defaults {
    setting_defaults defaults;
    // One row text for each preset that was refused; its key keeps the built-in default.
    std::vector<wxString> refused;
};

// The defaults with the presets that read gives by settings key (tracking_server_address,
// coordinate_server_address, coordinate_server_port, device); an empty text means no preset, a
// number is taken as its decimal text.
preset_defaults apply_presets(const std::function<machine_value(const char* key)>& read);
