#pragma once
// What the sender is configured with: plain values, resolved by the application.
#include <wx/string.h>

struct sender_settings {
    wxString tracking_server_address;
    wxString proxy_server_address;
    wxString device;
    bool debug = false;
};
