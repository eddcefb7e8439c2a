#pragma once
// The administrator's policy: values for the machine that win over the user's settings file, the
// presets and the built-in values. A refused value leaves its key to the user's file.
#include <functional>
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
    // The keys in force, comma-separated.
    wxString keys() const;
};

// The policy that read gives by settings key; an empty text means none, a number is taken as its
// decimal text.
managed_policy read_managed_policy(const std::function<machine_value(const char* key)>& read);
