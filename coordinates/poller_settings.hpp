#pragma once
// What the poller is configured with: plain values, resolved by the application.
#include <wx/string.h>

struct poller_settings {
    wxString address;
    wxString port;
    wxString device;
};
