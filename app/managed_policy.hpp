#pragma once
// The administrator's policy: values for the machine that win over the user's settings file, the
// presets and the built-in values. A refused value leaves its key to the user's file.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "app/platform.hpp"

struct managed_policy {
    struct value {
        std::string key;
        wxString text;
        bool operator==(const value& other) const { return key == other.key && text == other.text; }
    };
    // The values in force, in the settings file's order.
    std::vector<value> values;
    // One row text for each refused value; it names the key and the value, so that a refusal
    // reported once is told from a new one.
    std::vector<wxString> refused;

    // The value in force for the key, or null.
    const wxString* find(const char* key) const;
    // Whether the driver's menus offer the item of settings::allow_exit or settings::allow_setup.
    bool allows(const char* menu_key) const;
    // The keys in force, comma-separated.
    wxString keys() const;
    bool operator==(const managed_policy& other) const { return values == other.values && refused == other.refused; }
    bool operator!=(const managed_policy& other) const { return !(*this == other); }
};

// The policy that read gives by settings key; an empty text means none, a number is taken as its
// decimal text.
managed_policy read_managed_policy(const std::function<machine_value(const char* key)>& read);

// The policy in force, changed only by two reads that agree: Group Policy rewrites a key by
// deleting its values and writing them again, and a read in between would see none.
class policy_watch {
public:
    using reader = std::function<machine_value(const char* key)>;
    // The first read is taken as it is: there is nothing in force yet to fall back on.
    explicit policy_watch(reader read);

    const managed_policy& in_force() const { return in_force_; }
    // Reads again. A policy that differs from the one in force is held, and true says that
    // confirm() is due a little later.
    bool check();
    // Reads once more. When it agrees with the held policy, that goes in force, and the one it
    // replaces is returned; otherwise the held policy is dropped and the next check starts over.
    std::optional<managed_policy> confirm();

private:
    reader read_;
    managed_policy in_force_;
    std::optional<managed_policy> held_;
};
