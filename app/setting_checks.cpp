#include "app/setting_checks.hpp"

#include <algorithm>
#include <cstring>

#include <wx/intl.h>

#include "app/settings_keys.hpp"

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
    return port_number(value) ? wxString() : port_refusal();
}

// Device IDs and proxy addresses are free text, but for control characters.
wxString check_free_text(const wxString& value)
{
    return has_control_characters(value) ? _("contains control characters") : wxString();
}

wxString check_flag(const wxString& value)
{
    return value == "0" || value == "1" ? wxString() : _("not 0 or 1");
}

struct key_check {
    const char* key;
    wxString (*check)(const wxString&);
};
const key_check key_checks[] = {
    {settings::tracking_server_address, check_service_address},
    {settings::proxy_server_address, check_free_text},
    {settings::coordinate_server_address, check_host},
    {settings::coordinate_server_port, check_port},
    {settings::device, check_free_text},
    {settings::debug, check_flag},
    {settings::telemetry, check_flag},
    {settings::telemetry_port, check_port},
    {settings::allow_exit, check_flag},
    {settings::allow_setup, check_flag},
};

// The value as the row shows it: control characters would garble the row.
wxString shown(wxString value)
{
    std::replace_if(value.begin(), value.end(), is_control, '?');
    return value;
}
}

std::optional<std::uint16_t> port_number(const wxString& digits)
{
    unsigned long port = 0;
    if (digits.empty() || digits.length() > 5 || digits.find_first_not_of("0123456789") != wxString::npos ||
        !digits.ToULong(&port, 10) || port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

wxString port_refusal()
{
    return _("not a port number from 1 to 65535");
}

checked_value check_machine_value(const char* key, const machine_value& value)
{
    checked_value checked;
    if (const auto* text = std::get_if<wxString>(&value))
        checked.text = *text;
    else if (const auto* number = std::get_if<std::uint32_t>(&value))
        checked.text = wxString::Format("%u", static_cast<unsigned>(*number));
    else if (std::holds_alternative<other_value>(value))
        checked.refusal = _("not a text or a number");
    checked.shown = shown(checked.text);
    if (checked.refusal.empty() && !checked.text.empty()) {
        const auto* found = std::find_if(std::begin(key_checks), std::end(key_checks),
                                         [key](const key_check& c) { return std::strcmp(c.key, key) == 0; });
        if (found != std::end(key_checks))
            checked.refusal = found->check(checked.text);
    }
    return checked;
}
