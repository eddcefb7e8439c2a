#include "app/resolved_settings.hpp"

#include <wx/intl.h>

#include "app/setting_checks.hpp"

namespace {
// A policy's or preset's port was checked where it was read; a default is a port.
std::uint16_t port_or_default(const char* key, const wxString& value, const wxString& digits, const wxString& fallback,
                              std::vector<wxString>& refused)
{
    if (const auto port = port_number(digits))
        return *port;
    refused.push_back(
        wxString::Format(_("Setting %s [%s] refused: %s. The default is used."), key, value, port_refusal()));
    return port_number(fallback).value_or(0);
}

// Trailing non-digits end the number; they are not an error.
wxString leading_digits(const wxString& text)
{
    const std::size_t end = text.find_first_not_of("0123456789");
    return end == wxString::npos ? text : text.Left(end);
}
}

resolved_settings resolve_settings(const managed_policy& policy, const wxConfigBase& file,
                                   const setting_defaults& defaults)
{
    const auto text = [&](const char* key, const wxString& fallback) {
        const wxString* managed = policy.find(key);
        return managed ? *managed : file.Read(key, fallback);
    };
    const auto flag = [&](const char* key) {
        const wxString* managed = policy.find(key);
        return managed ? *managed == "1" : file.ReadBool(key, false);
    };
    resolved_settings resolved;
    resolved.poller.address = text(settings::coordinate_server_address, defaults.coordinate_server_address);
    const wxString port = text(settings::coordinate_server_port, defaults.coordinate_server_port);
    resolved.poller.port = port_or_default(settings::coordinate_server_port, port, port,
                                           defaults.coordinate_server_port, resolved.refused);
    resolved.poller.device = text(settings::device, defaults.device);
    resolved.sender.tracking_server_address = text(settings::tracking_server_address, defaults.tracking_server_address);
    resolved.sender.proxy_server_address = text(settings::proxy_server_address, wxString());
    resolved.sender.device = resolved.poller.device;
    resolved.sender.debug = flag(settings::debug);
    resolved.telemetry.enabled = flag(settings::telemetry);
    // A port refused while telemetry is off gets no row: nothing uses it.
    std::vector<wxString> unused;
    const wxString telemetry_port = text(settings::telemetry_port, settings::default_telemetry_port);
    resolved.telemetry.port =
        port_or_default(settings::telemetry_port, telemetry_port, leading_digits(telemetry_port),
                        settings::default_telemetry_port, resolved.telemetry.enabled ? resolved.refused : unused);
    return resolved;
}
