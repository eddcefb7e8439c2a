#include <gtest/gtest.h>

#include "answer_bytes.hpp"
#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "time_zone.hpp"

namespace layout = answer_layout;

namespace {
constexpr std::time_t sample_time = 1614927849; // 2021-03-05 07:04:09 UTC

std::string message_from(const answer_bytes& answer, const wxString& device, std::time_t now = sample_time)
{
    const auto record = decode_answer(answer.buffer(), device, now);
    EXPECT_TRUE(record.has_value());
    return record ? make_tracking_message(*record) : std::string();
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The whole expected message, byte for byte; each field holds its JSON text between the quotes.
// The defaults are those of a decoded answer with nothing in it, at sample_time in UTC.
struct expected_message {
    std::string entity_type = "mob_device_service";
    std::string status_service = "WORKING";
    std::string device, roadid, railasset, stationway, direction, railway, railway_desc;
    std::string rail_km = "0", rail_pk = "0", rail_m = "0", speed_gps = "0";
    std::string data_position = "2021-03-05T07:04:09", timezone = "+00:00";
    std::string accuracy_coord = "1", x_coord = "0", y_coord = "0", software_version = "1.650";

    std::string text() const
    {
        const std::pair<const char*, const std::string&> attributes[] = {
            {"status_service", status_service}, {"device", device}, {"roadid", roadid},
            {"railasset", railasset}, {"stationway", stationway}, {"direction", direction},
            {"railway", railway}, {"railway_desc", railway_desc}, {"rail_km", rail_km},
            {"rail_pk", rail_pk}, {"rail_m", rail_m}, {"speed_gps", speed_gps},
            {"data_position", data_position}, {"timezone", timezone},
            {"accuracy_coord", accuracy_coord}, {"x_coord", x_coord}, {"y_coord", y_coord},
            {"software_version", software_version}};
        std::string message = "{\n    \"entityType\": " + quoted(entity_type) + ",\n    \"attributes\": {\n";
        for (const auto& [name, value] : attributes)
            message += "        " + quoted(name) + ": " + quoted(value) +
                       (&value == &software_version ? "\n" : ",\n");
        return message + "    }\n}\n";
    }
};

// Only the clock lines differ between samples: the date always shows UTC wall-clock time.
std::string main_line_message(const std::string& date_text, const std::string& zone_text)
{
    expected_message m;
    m.data_position = date_text;
    m.device = "\xD0\xA2\xD0\xB5\xD0\xBF\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB7-7";
    m.roadid = "Road\\/1";
    m.railasset = "Signal \\\"4\\\"";
    m.direction = "Moscow - Tver";
    m.railway = m.railway_desc = "Main line";
    m.rail_km = "1234";
    m.rail_pk = "5";
    m.rail_m = "13";
    m.speed_gps = "42.5";
    m.timezone = zone_text;
    m.x_coord = "37.620408828289847";
    m.y_coord = "55.748793466229095";
    return m.text();
}
}

TEST(tracking_message, railway_answer_in_several_zones)
{
    const auto answer = railway_answer();
    // Berlin changes at 01:00 UTC: the offset at the sample's moment, not at its UTC time read as local.
    const std::time_t spring = 1774747800, autumn = 1792891800; // 01:30 UTC on those days
    const struct {
        const char* zone;
        std::string zone_text;
        std::time_t time = sample_time;
        std::string date_text = "2021-03-05T07:04:09";
    } samples[] = {
        {"UTC", "+00:00"}, {"<+03>-3", "+03:00"}, {"<-0330>3:30", "-03:00"}, {"<+10>-10", "+10:00"},
        {"<-03>3<-02>,M10.1.0/0,M3.3.0/0", "-02:00"}, // in its summer
        {"Europe/Berlin", "+02:00", spring, "2026-03-29T01:30:00"},
        {"Europe/Berlin", "+02:00", spring + 3600, "2026-03-29T02:30:00"},
        {"Europe/Berlin", "+02:00", autumn - 3600, "2026-10-25T00:30:00"},
        {"Europe/Berlin", "+01:00", autumn, "2026-10-25T01:30:00"},
    };
    for (const auto& s : samples) {
        time_zone tz(s.zone);
        EXPECT_EQ(message_from(answer, wxString::FromUTF8("Тепловоз-7"), s.time),
                  main_line_message(s.date_text, s.zone_text))
            << s.zone << " at " << s.time;
    }
}

TEST(tracking_message, station_answer_escapes_control_bytes_only)
{
    time_zone tz("<-05>5");
    const auto answer = answer_bytes()
                            .byte(layout::data_flag, 1)
                            .int32(layout::km, -12)
                            .float32(layout::metres, -12.7f)
                            .text(layout::direction_text, "Tab\there\x01\x1F\x7F\b\f\n\r")
                            .text(layout::railway_text, "back\\slash")
                            .float32(layout::speed, 0.1f)
                            .text(layout::place_text, "\xD0\xA1\xD1\x82. 5")
                            .int32(layout::pk, -3)
                            .int32(layout::place_kind, 1);
    expected_message expected;
    expected.device = "a\\/b";
    expected.stationway = "\xD0\xA1\xD1\x82. 5";
    expected.direction = "Tab\\there\\u0001\\u001F\x7F\\b\\f\\n\\r";
    expected.railway_desc = "back\\\\slash";
    expected.rail_km = "-12";
    expected.rail_pk = "-3";
    expected.rail_m = "-12";
    expected.speed_gps = "0.10000000149011612";
    expected.timezone = "-05:00";
    EXPECT_EQ(message_from(answer, "a/b"), expected.text());
}

TEST(tracking_message, texts_running_to_the_buffer_end)
{
    time_zone tz("UTC");
    // No NUL from the road text to the last byte: pk and place_kind are text bytes too.
    answer_bytes answer;
    answer.byte(layout::data_flag, 1)
        .float32(layout::metres, -0.5f)
        .text(layout::direction_text, std::string(96, 'd'))
        .text(layout::railway_text, "Yard")
        .text(layout::road_text, std::string(layout::buffer_size - layout::road_text, 'r'))
        .text(layout::pk, "1111")
        .text(layout::place_kind, "2222");
    const std::string road = std::string(layout::place_text - layout::road_text, 'r') +
                             std::string(layout::pk - layout::place_text, 'r') + "11112222" +
                             std::string(layout::buffer_size - layout::end_of_fields, 'r');
    expected_message expected;
    expected.roadid = road;
    expected.direction = std::string(96, 'd') + "Yard";
    expected.railway_desc = "Yard";
    expected.rail_pk = "825307441";
    EXPECT_EQ(message_from(answer, ""), expected.text());
}

TEST(tracking_message, empty_record_keeps_every_member)
{
    time_zone tz("UTC");
    position_record record;
    record.accuracy_coord = 0.0;
    record.speed_gps = 1.0000000000000001e-05;
    record.x_coord = -0.0;
    record.timezone = -11;
    expected_message expected;
    expected.entity_type = expected.status_service = expected.software_version = "";
    expected.speed_gps = "1.0000000000000001e-05";
    expected.data_position = "1970-01-01T00:00:00";
    expected.timezone = "-11:00";
    expected.accuracy_coord = "0";
    expected.x_coord = "-0";
    EXPECT_EQ(make_tracking_message(record), expected.text());
}
