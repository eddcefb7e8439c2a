#pragma once
// Everything about the HTTP request that carries one message, in one place.
#include <array>
#include <string>

#include <wx/string.h>

namespace tracking_request {
// The key is written once, inside its header line; api_key points at its part of that line.
constexpr const char api_key_header[] = "X-API-Key: mv4pzkatrwqyenhlbu";
constexpr const char* api_key = api_key_header + sizeof("X-API-Key: ") - 1;
// Sent in this order.
constexpr std::array<const char*, 3> headers = {
    "Accept-Encoding: gzip,deflate",
    "Content-Type: application/json",
    api_key_header,
};
}

// address + "?device=" + the device identifier, both UTF-8, the identifier percent-encoded as a
// query value (letters, digits and "-._~" stay as they are) so that no character of it can
// end the value or start another query key.
std::string tracking_url(const wxString& address, const wxString& device);

// The address for one message: under the device it was made for (its attributes.device), so that
// a change of device sends no queued message under another vehicle; a body without one goes under
// the device in force.
std::string message_url(const wxString& address, const std::string& message, const wxString& device_in_force);
