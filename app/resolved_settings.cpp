#include "app/resolved_settings.hpp"

#include <wx/intl.h>

#include "app/setting_checks.hpp"

namespace {
// Trailing non-digits end the number; they are not an error.
wxString leading_digits(const wxString& text)
{
    const std::size_t end = text.find_first_not_of("0123456789");
    return end == wxString::npos ? text : text.Left(end);
}

// Finds each key's value in force and notes it, with its source, in the rows.
class value_finder {
public:
    value_finder(const managed_policy& policy, const wxConfigBase& file, const setting_defaults& defaults,
                 std::vector<setting_row>& rows)
        : policy_(policy), file_(file), defaults_(defaults), rows_(rows)
    {
    }

    wxString text(const char* key, const wxString& fallback)
    {
        if (const wxString* managed = policy_.find(key))
            return noted(key, *managed, "policy");
        if (file_.HasEntry(key))
            return noted(key, file_.Read(key, fallback), "file");
        return noted(key, fallback, default_source(key));
    }

    bool flag(const char* key)
    {
        const wxString* managed = policy_.find(key);
        const bool on = managed ? *managed == "1" : file_.ReadBool(key, false);
        noted(key, on ? "1" : "0", managed ? "policy" : file_.HasEntry(key) ? "file" : "built-in");
        return on;
    }

    // A policy's or preset's port was checked where it was read; a default is a port. The row of a
    // refused value shows the default that takes its place.
    std::uint16_t port(const char* key, const wxString& fallback, bool by_leading_digits,
                       std::vector<wxString>& refused)
    {
        const wxString value = text(key, fallback);
        if (const auto port = port_number(by_leading_digits ? leading_digits(value) : value)) {
            rows_.back().value = wxString::Format("%u", unsigned{*port});
            return *port;
        }
        refused.push_back(
            wxString::Format(_("Setting %s [%s] refused: %s. The default is used."), key, value, port_refusal()));
        rows_.back() = {key, fallback, default_source(key)};
        return port_number(fallback).value_or(0);
    }

private:
    const char* default_source(const char* key) const { return defaults_.preset(key) ? "preset" : "built-in"; }

    wxString noted(const char* key, const wxString& value, const char* source)
    {
        rows_.push_back({key, value, source});
        return value;
    }

    const managed_policy& policy_;
    const wxConfigBase& file_;
    const setting_defaults& defaults_;
    std::vector<setting_row>& rows_;
};
}

resolved_settings resolve_settings(const managed_policy& policy, const wxConfigBase& file,
                                   const setting_defaults& defaults)
{
    resolved_settings resolved;
    value_finder find(policy, file, defaults, resolved.values);
    // In the order of settings::all_keys, which the rows keep.
    resolved.sender.tracking_server_address =
        find.text(settings::tracking_server_address, defaults.tracking_server_address);
    resolved.sender.proxy_server_address = find.text(settings::proxy_server_address, wxString());
    resolved.poller.address = find.text(settings::coordinate_server_address, defaults.coordinate_server_address);
    resolved.poller.port =
        find.port(settings::coordinate_server_port, defaults.coordinate_server_port, false, resolved.refused);
    resolved.poller.device = find.text(settings::device, defaults.device);
    resolved.sender.device = resolved.poller.device;
    resolved.sender.debug = find.flag(settings::debug);
    resolved.telemetry.enabled = find.flag(settings::telemetry);
    // A port refused while telemetry is off gets no row: nothing uses it.
    std::vector<wxString> unused;
    resolved.telemetry.port = find.port(settings::telemetry_port, settings::default_telemetry_port, true,
                                        resolved.telemetry.enabled ? resolved.refused : unused);
    return resolved;
}
