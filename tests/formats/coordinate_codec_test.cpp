#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "answer_bytes.hpp"
#include "formats/calendar_time.hpp"
#include "formats/coordinate_codec.hpp"
#include "time_zone.hpp"

namespace layout = answer_layout;

namespace {
constexpr std::time_t sample_time = 1614927849; // 2021-03-05 07:04:09 UTC

position_record decoded(const answer_bytes& answer, const wxString& device = "dev")
{
    const auto record = decode_answer(answer.buffer(), device, sample_time);
    EXPECT_TRUE(record.has_value());
    return record.value_or(position_record{});
}

answer_bytes with_data() { return std::move(answer_bytes().byte(layout::data_flag, 1)); }
}

TEST(coordinate_request, is_the_fixed_64_bytes)
{
    coordinate_request expected{};
    const unsigned char head[] = {'C', 'X', 'Q', 'U', 'E', 'S', 'T', '2', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(build_request(0.0), expected);
    // The value goes in as little-endian float32 at offset 12.
    const auto request = build_request(1.0);
    EXPECT_EQ((std::vector<int>(request.begin() + 12, request.begin() + 16)),
              (std::vector<int>{0x00, 0x00, 0x80, 0x3F}));
}

TEST(coordinate_answer, without_data_flag_is_no_data)
{
    EXPECT_FALSE(decode_answer(answer_bytes().buffer(), "dev", sample_time));
    // A server that fills everything but the flag still has no position.
    answer_bytes full;
    for (std::size_t i = 0; i < layout::buffer_size; ++i)
        full.byte(i, 0x41);
    full.byte(layout::data_flag, 0);
    EXPECT_FALSE(decode_answer(full.buffer(), "dev", sample_time));
    // 12 bytes arrived: the flag stays zero.
    full.byte(layout::data_flag, 1).cut_after(12);
    EXPECT_FALSE(decode_answer(full.buffer(), "dev", sample_time));
}

TEST(coordinate_answer, flag_alone_gives_a_zero_record)
{
    time_zone utc("UTC");
    const auto record = decoded(with_data());
    EXPECT_EQ(record.entity_type, "mob_device_service");
    EXPECT_EQ(record.status_service, "WORKING");
    EXPECT_EQ(record.device, "dev");
    for (const auto* text : {&record.roadid, &record.railasset, &record.stationway,
                             &record.direction, &record.railway, &record.railway_desc})
        EXPECT_EQ(*text, "");
    EXPECT_EQ(record.rail_km, 0);
    EXPECT_EQ(record.rail_pk, 0);
    EXPECT_EQ(record.rail_m, 0);
    EXPECT_EQ(record.speed_gps, 0.0);
    EXPECT_EQ(record.data_position, sample_time);
    EXPECT_EQ(record.timezone, 0);
    EXPECT_EQ(record.accuracy_coord, 1.0);
    EXPECT_EQ(record.x_coord, 0.0);
    EXPECT_EQ(record.y_coord, 0.0);
    EXPECT_EQ(record.software_version, "1.650");
}

TEST(coordinate_answer, numbers_and_degrees)
{
    auto answer = with_data()
                      .int32(layout::km, -12)
                      .int32(layout::pk, 7)
                      .float32(layout::speed, -42.5f)
                      .float64(layout::latitude_rad, 0.973)
                      .float64(layout::longitude_rad, 0.6566);
    auto record = decoded(answer);
    EXPECT_EQ(record.rail_km, -12);
    EXPECT_EQ(record.rail_pk, 7);
    EXPECT_EQ(record.speed_gps, 42.5);
    EXPECT_EQ(record.y_coord, 55.748793466229095);
    EXPECT_EQ(record.x_coord, 37.62040882828985);
    EXPECT_EQ(decoded(answer.float64(layout::latitude_rad, 0.7853981633974483)).y_coord, 45.0);
}

TEST(coordinate_answer, metres_are_the_ceiling_and_never_undefined)
{
    constexpr auto int_max = std::numeric_limits<std::int32_t>::max();
    constexpr auto int_min = std::numeric_limits<std::int32_t>::min();
    const std::pair<float, std::int32_t> cases[] = {
        {12.2f, 13}, {-12.7f, -12}, {-0.5f, 0}, {5.0f, 5}, {-2147483648.0f, int_min},
        {std::nanf(""), 0}, {1e20f, int_max}, {-1e20f, int_min},
        {std::numeric_limits<float>::infinity(), int_max}};
    for (const auto& [metres, expected] : cases) {
        auto answer = with_data().float32(layout::metres, metres);
        EXPECT_EQ(decoded(answer).rail_m, expected) << metres;
        EXPECT_TRUE(answer_metres(answer.buffer()) == metres || std::isnan(metres));
    }
}

TEST(coordinate_answer, place_kind_selects_where_the_place_goes)
{
    auto answer = with_data()
                      .text(layout::railway_text, std::string("Main line\0", 10))
                      .text(layout::place_text, std::string("Signal 4\0", 9));
    const auto kind0 = decoded(answer.int32(layout::place_kind, 0));
    EXPECT_EQ(kind0.railasset, "Signal 4");
    EXPECT_EQ(kind0.railway, "Main line");
    EXPECT_EQ(kind0.stationway, "");
    const auto kind1 = decoded(answer.int32(layout::place_kind, 1));
    EXPECT_EQ(kind1.stationway, "Signal 4");
    EXPECT_EQ(kind1.railasset, "");
    EXPECT_EQ(kind1.railway, "");
    for (std::int32_t other : {2, -1}) {
        const auto record = decoded(answer.int32(layout::place_kind, other));
        EXPECT_EQ(record.railasset + record.stationway + record.railway, "");
        EXPECT_EQ(record.railway_desc, "Main line");
    }
}

TEST(coordinate_answer, texts_keep_their_bytes_and_stop_at_the_buffer)
{
    // Bytes pass unconverted; a text that fills its room runs on into the next field.
    const std::string cp1251 = "\xCF\xE5\xF0\xEC\xFC";
    auto answer = with_data()
                      .text(layout::direction_text, std::string(96, 'd'))
                      .text(layout::railway_text, cp1251 + '\0')
                      .text(layout::road_text, "A-1");
    auto record = decoded(answer);
    EXPECT_EQ(record.direction, std::string(96, 'd') + cp1251);
    EXPECT_EQ(record.railway_desc, cp1251);
    EXPECT_EQ(record.roadid, "A-1");

    // Without any NUL up to the end, the road text takes every byte to the last one.
    answer.text(layout::road_text, std::string(layout::buffer_size - layout::road_text, 'r'));
    record = decoded(answer);
    EXPECT_EQ(record.roadid, std::string(layout::buffer_size - layout::road_text, 'r'));
    EXPECT_EQ(record.railasset + record.stationway, ""); // place_kind is now "rrrr"

    // An answer cut inside a field leaves the rest of it zero.
    answer = with_data().text(layout::road_text, "Road 9").int32(layout::pk, 0x01020304);
    answer.cut_after(layout::road_text + 4);
    record = decoded(answer);
    EXPECT_EQ(record.roadid, "Road");
    EXPECT_EQ(record.rail_pk, 0);
}

TEST(coordinate_answer, device_is_utf8)
{
    // Characters that the C locale cannot represent must not empty the identifier.
    EXPECT_EQ(decoded(with_data(), wxString::FromUTF8("Тепловоз-7")).device,
              "\xD0\xA2\xD0\xB5\xD0\xBF\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB7-7");
}

TEST(coordinate_answer, clock_fields_follow_the_time_zone)
{
    struct zone_case {
        const char* zone;
        std::int32_t hours;
        std::time_t offset_seconds;
    };
    const zone_case zones[] = {{"UTC", 0, 0},
                               {"<+03>-3", 3, 3 * 3600},
                               {"<-0330>3:30", -3, -(3 * 3600 + 1800)},
                               {"<+0545>-5:45", 5, 5 * 3600 + 2700},
                               // March 5th is winter in the north, summer in the south.
                               {"CET-1CEST,M3.5.0,M10.5.0/3", 1, 3600},
                               {"<-03>3<-02>,M10.1.0/0,M3.3.0/0", -2, -2 * 3600}};
    for (const auto& [zone, hours, offset_seconds] : zones) {
        time_zone tz(zone);
        const auto record = decoded(with_data());
        EXPECT_EQ(record.timezone, hours) << zone;
        EXPECT_EQ(record.data_position, sample_time) << zone;
        EXPECT_EQ(utc_offset_seconds(sample_time), offset_seconds) << zone;
    }
}

TEST(repeat_record, keeps_the_position_and_restamps)
{
    time_zone tz("<+03>-3");
    auto newest = decoded(with_data()
                              .float32(layout::speed, 60.0f)
                              .float64(layout::latitude_rad, 0.973)
                              .text(layout::road_text, "A-1"),
                          "loco");
    newest.entity_type = "changed";
    const auto repeat = make_repeat_record(newest, sample_time + 180);
    EXPECT_EQ(repeat.entity_type, "mob_device_service");
    EXPECT_EQ(repeat.status_service, "");
    EXPECT_EQ(repeat.speed_gps, 0.0);
    EXPECT_EQ(repeat.data_position, newest.data_position + 180);
    EXPECT_EQ(repeat.timezone, 3);
    EXPECT_EQ(repeat.device, "loco");
    EXPECT_EQ(repeat.roadid, "A-1");
    EXPECT_EQ(repeat.y_coord, newest.y_coord);
}
