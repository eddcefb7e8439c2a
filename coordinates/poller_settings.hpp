#pragma once
// What the poller is configured with: plain values, resolved by the application.
#include <cstdint>

#include <wx/string.h>

struct poller_settings {
    wxString address;
    std::uint16_t port = 0;
    wxString device;
};
