#include <cstring>

#include <gtest/gtest.h>

#include "formats/tracking_message.hpp"
#include "formats/tracking_request.hpp"

TEST(tracking_request, headers_carry_the_key)
{
    EXPECT_STREQ(tracking_request::api_key, "mv4pzkatrwqyenhlbu");
    EXPECT_STREQ(tracking_request::headers[0], "Accept-Encoding: gzip,deflate");
    EXPECT_STREQ(tracking_request::headers[1], "Content-Type: application/json");
    EXPECT_STREQ(tracking_request::headers[2], "X-API-Key: mv4pzkatrwqyenhlbu");
}

TEST(tracking_request, device_is_a_percent_encoded_query_value)
{
    EXPECT_EQ(tracking_url("http://127.0.0.1:8080/api/objects", "AZaz09-._~"),
              "http://127.0.0.1:8080/api/objects?device=AZaz09-._~");
    EXPECT_EQ(tracking_url(wxString::FromUTF8("http://host/путь"),
                           wxString::FromUTF8("Loco 7/Ж&x=1?#%+")),
              "http://host/\xD0\xBF\xD1\x83\xD1\x82\xD1\x8C"
              "?device=Loco%207%2F%D0%96%26x%3D1%3F%23%25%2B");
    EXPECT_EQ(tracking_url("http://host/p?a=1", ""), "http://host/p?a=1?device=");
}

TEST(tracking_request, a_message_goes_under_the_device_it_was_made_for)
{
    position_record record{};
    record.device = "LOCO-A/\xD0\x96";
    const std::string address = "http://host/objects";
    EXPECT_EQ(message_url(address, make_tracking_message(record), "LOCO-B"), address + "?device=LOCO-A%2F%D0%96");
    // A body that carries no device goes under the one in force.
    EXPECT_EQ(message_url(address, "{\"entityType\": \"mob_device_service\"}", "LOCO-B"), address + "?device=LOCO-B");
    EXPECT_EQ(message_url(address, "one\n", "LOCO-B"), address + "?device=LOCO-B");
}
