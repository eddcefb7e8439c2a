#include "app/presets.hpp"

#include <algorithm>

#include <wx/intl.h>

namespace {
bool is_control(wxUniChar c)
{
    return c < 0x20 || c == 0x7f;
}

bool has_control_characters(const wxString& text)
{
    return std::any_of(text.begin(), text.end(), is_control);
}

// Each check gives why the value is refused, or an empty text.
wxString check_service_address(const wxString& value)
{
    const wxString lower = value.Lower();
    wxString host;
    const bool web = lower.StartsWith("http://", &host) || lower.StartsWith("https://", &host);
    if (!web || host.empty() || host[0] == '/' || value.find(' ') != wxString::npos || has_control_characters(value))
        return _("not an http or https address");
    return wxString();
}

wxString check_host(const wxString& value)
{
    for (const wxUniChar c : value)
        if (!(c < 0x80 && (wxIsalnum(c) || c == '.' || c == '-' || c == '_' || c == ':')))
            return _("not a host name or address");
    return wxString();
}

wxString check_port(const wxString& value)
{
    unsigned long port = 0;
    const bool digits = value.length() <= 5 && value.find_first_not_of("0123456789") == wxString::npos;
    if (!digits || !value.ToULong(&port, 10) || port < 1 || port > 65535)
        return _("not a port number from 1 to 65535");
    return wxString();
}

wxString check_device(const wxString& value)
{
    return has_control_characters(value) ? _("contains control characters") : wxString();
}

// The value as the row shows it: control characters would garble the row.
wxString shown(wxString value)
{
    std::replace_if(value.begin(), value.end(), is_control, '?');
    return value;
}

struct preset {
    const char* key;
    wxString setting_defaults::*field;
    wxString (*check)(const wxString&);
};
const preset presets[] = {
    {settings::tracking_server_address, &setting_defaults::tracking_server_address, check_service_address},
    {settings::coordinate_server_address, &setting_defaults::coordinate_server_address, check_host},
    {settings::coordinate_server_port, &setting_defaults::coordinate_server_port, check_port},
    {settings::device, &setting_defaults::device, check_device},
};
}

preset_defaults apply_presets(const std::function<wxString(const char* key)>& read)
{
    preset_defaults result;
    for (const preset& preset : presets) {
        const wxString value = read(preset.key);
        const wxString problem = value.empty() ? wxString() : preset.check(value);
        if (!value.empty() && problem.empty()) {
            result.defaults.*preset.field = value;
            result.in_force.push_back({preset.key, value, "machine preset"});
            continue;
        }
        result.in_force.push_back({preset.key, result.defaults.*preset.field, "built-in default"});
        if (value.empty())
            continue;
        result.in_force.push_back({preset.key, shown(value), "machine preset, refused"});
        result.refused.push_back(wxString::Format(
            _("Installer preset %s [%s] refused: %s. The built-in default is used."), preset.key, shown(value),
            problem));
    }
    return result;
}
