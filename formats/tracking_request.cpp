#include "formats/tracking_request.hpp"

#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace {
bool unreserved(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
           byte == '~';
}

std::string percent_encoded(const std::string& text)
{
    constexpr const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char byte : text) {
        if (unreserved(byte)) {
            encoded += static_cast<char>(byte);
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0x0F];
        }
    }
    return encoded;
}
}

std::string tracking_url(const wxString& address, const wxString& device)
{
    return address.utf8_string() + "?device=" + percent_encoded(device.utf8_string());
}

std::string message_url(const wxString& address, const std::string& message, const wxString& device_in_force)
{
    boost::property_tree::ptree tree;
    try {
        std::istringstream body(message);
        boost::property_tree::read_json(body, tree);
    } catch (const boost::property_tree::json_parser_error&) {
        return tracking_url(address, device_in_force);
    }
    const auto own = tree.get_optional<std::string>("attributes.device");
    return tracking_url(address, own ? wxString::FromUTF8(*own) : device_in_force);
}
