#include "app/managed_policy.hpp"

#include <wx/intl.h>

#include "app/setting_checks.hpp"
#include "app/settings_keys.hpp"

namespace {
// The settings file's order, in which the managed keys are named.
const char* const policy_keys[] = {
    settings::tracking_server_address, settings::proxy_server_address, settings::coordinate_server_address,
    settings::coordinate_server_port,  settings::device,               settings::debug,
    settings::telemetry,               settings::telemetry_port,
};
}

const wxString* managed_policy::find(const char* key) const
{
    for (const value& managed : values)
        if (managed.key == key)
            return &managed.text;
    return nullptr;
}

wxString managed_policy::keys() const
{
    wxString names;
    for (const value& managed : values)
        names += (names.empty() ? "" : ", ") + wxString(managed.key);
    return names;
}

managed_policy read_managed_policy(const std::function<machine_value(const char* key)>& read)
{
    managed_policy policy;
    for (const char* key : policy_keys) {
        const checked_value value = check_machine_value(key, read(key));
        if (!value.refusal.empty())
            policy.refused.push_back(wxString::Format(_("Policy %s [%s] refused: %s. The user's value is used."),
                                                      key, value.shown, value.refusal));
        else if (!value.text.empty())
            policy.values.push_back({key, value.text});
    }
    return policy;
}
