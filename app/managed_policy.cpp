#include "app/managed_policy.hpp"

#include <utility>

#include <wx/intl.h>

#include "app/setting_checks.hpp"
#include "app/settings_keys.hpp"

bool managed_policy::allows(const char* menu_key) const
{
    const wxString* value = find(menu_key);
    return value == nullptr || *value != "0";
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
    // In the settings file's order, in which the managed keys are named.
    for (const char* key : settings::all_keys) {
        const checked_value value = check_machine_value(key, read(key));
        if (!value.refusal.empty())
            policy.refused.push_back(wxString::Format(_("Policy %s [%s] refused: %s. The user's value is used."),
                                                      key, value.shown, value.refusal));
        else if (!value.text.empty())
            policy.values.push_back({key, value.text});
    }
    for (const char* key : settings::menu_keys) {
        const checked_value value = check_machine_value(key, read(key));
        if (!value.refusal.empty())
            policy.refused.push_back(wxString::Format(_("Policy %s [%s] refused: %s. The menu item is offered."), key,
                                                      value.shown, value.refusal));
        else if (!value.text.empty())
            policy.values.push_back({key, value.text});
    }
    return policy;
}

policy_watch::policy_watch(reader read) : read_(std::move(read)), in_force_(read_managed_policy(read_))
{
}

bool policy_watch::check()
{
    managed_policy now = read_managed_policy(read_);
    if (now == in_force_)
        held_.reset();
    else
        held_ = std::move(now);
    return held_.has_value();
}

std::optional<managed_policy> policy_watch::confirm()
{
    std::optional<managed_policy> held = std::exchange(held_, std::nullopt);
    if (!held || read_managed_policy(read_) != *held)
        return std::nullopt;
    return std::exchange(in_force_, std::move(*held));
}
