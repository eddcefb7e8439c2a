#include "app/resolved_settings.hpp"

#include <wx/wxcrt.h>

namespace {
std::uint32_t port_number(const wxString& text)
{
    if (text.empty() || !wxIsdigit(text[0]))
        return 0;
    unsigned long port = 0;
    // Trailing non-digits end the number; they are not an error.
    text.ToULong(&port, 10);
    return static_cast<std::uint32_t>(port);
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
    resolved.poller.port = text(settings::coordinate_server_port, defaults.coordinate_server_port);
    resolved.poller.device = text(settings::device, defaults.device);
    resolved.sender.tracking_server_address =
        text(settings::tracking_server_address, defaults.tracking_server_address);
    resolved.sender.proxy_server_address = text(settings::proxy_server_address, wxString());
    resolved.sender.device = resolved.poller.device;
    resolved.sender.debug = flag(settings::debug);
    resolved.telemetry.enabled = flag(settings::telemetry);
    resolved.telemetry.port = port_number(text(settings::telemetry_port, settings::default_telemetry_port));
    return resolved;
}
