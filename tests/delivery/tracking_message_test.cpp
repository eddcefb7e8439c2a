#include <gtest/gtest.h>

#include "answer_bytes.hpp"
#include "coordinates/coordinate_codec.hpp"
#include "delivery/tracking_message.hpp"
#include "time_zone.hpp"

namespace layout = answer_layout;

namespace {
constexpr std::time_t sample_time = 1614927849; // 2021-03-05 07:04:09 UTC

std::string message_from(const answer_bytes& answer, const wxString& device)
{
    const auto record = decode_answer(answer.buffer(), device, sample_time);
    EXPECT_TRUE(record.has_value());
    return record ? make_tracking_message(*record) : std::string();
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Only the zone line differs between time zones: the date always shows UTC wall-clock time.
std::string main_line_message(const std::string& zone_text)
{
    return "{\n"
           "    \"entityType\": \"mob_device_service\",\n"
           "    \"attributes\": {\n"
           "        \"status_service\": \"WORKING\",\n"
           "        \"device\": \"\xD0\xA2\xD0\xB5\xD0\xBF\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB7-7\",\n"
           "        \"roadid\": \"Road\\/1\",\n"
           "        \"railasset\": \"Signal \\\"4\\\"\",\n"
           "        \"stationway\": \"\",\n"
           "        \"direction\": \"Moscow - Tver\",\n"
           "        \"railway\": \"Main line\",\n"
           "        \"railway_desc\": \"Main line\",\n"
           "        \"rail_km\": \"1234\",\n"
           "        \"rail_pk\": \"5\",\n"
           "        \"rail_m\": \"13\",\n"
           "        \"speed_gps\": \"42.5\",\n"
           "        \"data_position\": \"2021-03-05T07:04:09\",\n"
           "        \"timezone\": \"" + zone_text + "\",\n"
           "        \"accuracy_coord\": \"1\",\n"
           "        \"x_coord\": \"37.620408828289847\",\n"
           "        \"y_coord\": \"55.748793466229095\",\n"
           "        \"software_version\": \"1.650\"\n"
           "    }\n"
           "}\n";
}
}

TEST(tracking_message, railway_answer_in_several_zones)
{
    const auto answer = railway_answer();
    const std::pair<const char*, const char*> zones[] = {
        {"UTC", "+00:00"}, {"<+03>-3", "+03:00"}, {"<-0330>3:30", "-03:00"}, {"<+10>-10", "+10:00"},
        {"<-03>3<-02>,M10.1.0/0,M3.3.0/0", "-02:00"}}; // the last in its summer
    for (const auto& [zone, zone_text] : zones) {
        time_zone tz(zone);
        EXPECT_EQ(message_from(answer, wxString::FromUTF8("Тепловоз-7")), main_line_message(zone_text))
            << zone;
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
    EXPECT_EQ(message_from(answer, "a/b"),
              "{\n"
              "    \"entityType\": \"mob_device_service\",\n"
              "    \"attributes\": {\n"
              "        \"status_service\": \"WORKING\",\n"
              "        \"device\": \"a\\/b\",\n"
              "        \"roadid\": \"\",\n"
              "        \"railasset\": \"\",\n"
              "        \"stationway\": \"\xD0\xA1\xD1\x82. 5\",\n"
              "        \"direction\": \"Tab\\there\\u0001\\u001F\x7F\\b\\f\\n\\r\",\n"
              "        \"railway\": \"\",\n"
              "        \"railway_desc\": \"back\\\\slash\",\n"
              "        \"rail_km\": \"-12\",\n"
              "        \"rail_pk\": \"-3\",\n"
              "        \"rail_m\": \"-12\",\n"
              "        \"speed_gps\": \"0.10000000149011612\",\n"
              "        \"data_position\": \"2021-03-05T07:04:09\",\n"
              "        \"timezone\": \"-05:00\",\n"
              "        \"accuracy_coord\": \"1\",\n"
              "        \"x_coord\": \"0\",\n"
              "        \"y_coord\": \"0\",\n"
              "        \"software_version\": \"1.650\"\n"
              "    }\n"
              "}\n");
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
    EXPECT_EQ(message_from(answer, ""),
              "{\n"
              "    \"entityType\": \"mob_device_service\",\n"
              "    \"attributes\": {\n"
              "        \"status_service\": \"WORKING\",\n"
              "        \"device\": \"\",\n"
              "        \"roadid\": " + quoted(road) + ",\n"
              "        \"railasset\": \"\",\n"
              "        \"stationway\": \"\",\n"
              "        \"direction\": " + quoted(std::string(96, 'd') + "Yard") + ",\n"
              "        \"railway\": \"\",\n"
              "        \"railway_desc\": \"Yard\",\n"
              "        \"rail_km\": \"0\",\n"
              "        \"rail_pk\": \"825307441\",\n"
              "        \"rail_m\": \"0\",\n"
              "        \"speed_gps\": \"0\",\n"
              "        \"data_position\": \"2021-03-05T07:04:09\",\n"
              "        \"timezone\": \"+00:00\",\n"
              "        \"accuracy_coord\": \"1\",\n"
              "        \"x_coord\": \"0\",\n"
              "        \"y_coord\": \"0\",\n"
              "        \"software_version\": \"1.650\"\n"
              "    }\n"
              "}\n");
}

TEST(tracking_message, empty_record_keeps_every_member)
{
    time_zone tz("UTC");
    position_record record;
    record.accuracy_coord = 0.0;
    record.speed_gps = 1.0000000000000001e-05;
    record.x_coord = -0.0;
    record.timezone = -11;
    EXPECT_EQ(make_tracking_message(record),
              "{\n"
              "    \"entityType\": \"\",\n"
              "    \"attributes\": {\n"
              "        \"status_service\": \"\",\n"
              "        \"device\": \"\",\n"
              "        \"roadid\": \"\",\n"
              "        \"railasset\": \"\",\n"
              "        \"stationway\": \"\",\n"
              "        \"direction\": \"\",\n"
              "        \"railway\": \"\",\n"
              "        \"railway_desc\": \"\",\n"
              "        \"rail_km\": \"0\",\n"
              "        \"rail_pk\": \"0\",\n"
              "        \"rail_m\": \"0\",\n"
              "        \"speed_gps\": \"1.0000000000000001e-05\",\n"
              "        \"data_position\": \"1970-01-01T00:00:00\",\n"
              "        \"timezone\": \"-11:00\",\n"
              "        \"accuracy_coord\": \"0\",\n"
              "        \"x_coord\": \"-0\",\n"
              "        \"y_coord\": \"0\",\n"
              "        \"software_version\": \"\"\n"
              "    }\n"
              "}\n");
}
