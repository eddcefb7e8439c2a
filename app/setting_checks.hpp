#pragma once
// Which values the machine may set for a settings key (installer presets, managed policy), and why
// one is refused: both sources take the same checks.
#include <cstdint>
#include <optional>

#include <wx/string.h>

#include "app/platform.hpp"

// A machine's value for a key, checked.
struct checked_value {
    wxString text;    // as the settings file would hold it: a number in decimal; empty when none
    wxString shown;   // as a row shows it
    wxString refusal; // why it is refused; empty when taken
};

// An empty text counts as no value.
checked_value check_machine_value(const char* key, const machine_value& value);

// The port that the decimal digits give, when they are all digits and from 1 to 65535.
std::optional<std::uint16_t> port_number(const wxString& digits);
// Why a value is not a port: "not a port number from 1 to 65535".
wxString port_refusal();
