#pragma once
#include <array>
#include <string>

#include <wx/string.h>

// Everything about the HTTP request that carries one message, in one place.
namespace tracking_request {
constexpr const char* api_key = "mv4pzkatrwqyenhlbu";
// Sent in this order.
constexpr std::array<const char*, 3> headers = {
    "Accept-Encoding: gzip,deflate",
    "Content-Type: application/json",
    "X-API-Key: mv4pzkatrwqyenhlbu",
};
}

// address + "?device=" + the device identifier, UTF-8, the identifier percent-encoded as a
// query value (letters, digits and "-._~" stay as they are).
std::string tracking_url(const wxString& address, const wxString& device);
