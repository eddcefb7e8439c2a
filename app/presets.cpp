#include "app/presets.hpp"

#include <wx/intl.h>

#include "app/setting_checks.hpp"

namespace {
struct preset {
    const char* key;
    wxString setting_defaults::*field;
};
const preset presets[] = {
    {settings::tracking_server_address, &setting_defaults::tracking_server_address},
    {settings::coordinate_server_address, &setting_defaults::coordinate_server_address},
    {settings::coordinate_server_port, &setting_defaults::coordinate_server_port},
    {settings::device, &setting_defaults::device},
};
}

preset_defaults apply_presets(const std::function<machine_value(const char* key)>& read)
{
    preset_defaults result;
    for (const preset& preset : presets) {
        const checked_value value = check_machine_value(preset.key, read(preset.key));
        if (value.refusal.empty() && !value.text.empty()) {
            result.defaults.*preset.field = value.text;
            result.defaults.preset_keys.push_back(preset.key);
            continue;
        }
        if (value.refusal.empty())
            continue;
        result.refused.push_back(wxString::Format(
            _("Installer preset %s [%s] refused: %s. The built-in default is used."), preset.key, value.shown,
            value.refusal));
    }
    return result;
}
