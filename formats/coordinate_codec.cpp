#include "formats/coordinate_codec.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <boost/format.hpp>
#include <wx/intl.h>

#include "formats/calendar_time.hpp"

namespace {
constexpr const char* entity_type = "mob_device_service";
constexpr const char* build_number = "650";
constexpr double pi = 3.141592653589793;

// Numbers on the wire are little-endian whatever the host is.
template <typename Unsigned> Unsigned read_unsigned(const answer_buffer& buffer, std::size_t offset)
{
    Unsigned value = 0;
    for (std::size_t i = sizeof(Unsigned); i-- > 0;)
        value = static_cast<Unsigned>(value << 8) | buffer[offset + i];
    return value;
}

std::int32_t read_int32(const answer_buffer& buffer, std::size_t offset)
{
    return static_cast<std::int32_t>(read_unsigned<std::uint32_t>(buffer, offset));
}

float read_float32(const answer_buffer& buffer, std::size_t offset)
{
    const auto bits = read_unsigned<std::uint32_t>(buffer, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double read_float64(const answer_buffer& buffer, std::size_t offset)
{
    const auto bits = read_unsigned<std::uint64_t>(buffer, offset);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <typename Unsigned> void write_unsigned(coordinate_request& request, std::size_t offset, Unsigned value)
{
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        request[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A text ends at its first NUL; one without a NUL in its room runs on, but never past the buffer.
std::string read_text(const answer_buffer& buffer, std::size_t offset)
{
    const auto begin = buffer.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::string(begin, std::find(begin, buffer.end(), 0));
}

// The ceiling in single precision. Values without an int32 counterpart (NaN, infinities, huge
// numbers) would make the conversion undefined: NaN gives 0, the others the nearest limit.
std::int32_t ceiling_metres(float metres)
{
    if (std::isnan(metres))
        return 0;
    const float ceiling = std::ceil(metres);
    if (ceiling <= static_cast<float>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    // 2^31 is the first float above the int32 range.
    if (ceiling >= 2147483648.0f)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(ceiling);
}

double degrees(double radians)
{
    return radians * 180.0 / pi;
}

// data_position is the moment of the sample; timezone the whole hours of the offset in force
// then, cut toward zero.
void stamp_clock(position_record& record, std::time_t now)
{
    record.data_position = now;
    record.timezone = static_cast<std::int32_t>(utc_offset_seconds(now) / 3600);
}
}

coordinate_request build_request(double request_value)
{
    coordinate_request request{};
    std::memcpy(request.data(), answer_layout::request_mark, sizeof answer_layout::request_mark - 1);
    write_unsigned<std::uint32_t>(request, answer_layout::request_zero, 0);
    const float narrowed = static_cast<float>(request_value);
    std::uint32_t bits;
    std::memcpy(&bits, &narrowed, sizeof bits);
    write_unsigned(request, answer_layout::request_value, bits);
    write_unsigned<std::uint32_t>(request, answer_layout::request_one, 1);
    return request;
}

float answer_metres(const answer_buffer& buffer)
{
    return read_float32(buffer, answer_layout::metres);
}

boost::optional<position_record> decode_answer(const answer_buffer& buffer, const wxString& device, std::time_t now)
{
    using namespace answer_layout;
    if (buffer[data_flag] == 0)
        return boost::none;

    position_record record;
    record.entity_type = entity_type;
    record.status_service = _("WORKING").utf8_string();
    record.device = device.utf8_string();
    record.roadid = read_text(buffer, road_text);
    record.direction = read_text(buffer, direction_text);
    record.railway_desc = read_text(buffer, railway_text);
    const std::string place = read_text(buffer, place_text);
    switch (read_int32(buffer, place_kind)) {
    case 0:
        record.railasset = place;
        record.railway = record.railway_desc;
        break;
    case 1:
        record.stationway = place;
        break;
    default:
        break;
    }
    record.rail_km = read_int32(buffer, km);
    record.rail_pk = read_int32(buffer, pk);
    record.rail_m = ceiling_metres(answer_metres(buffer));
    record.speed_gps = std::fabs(static_cast<double>(read_float32(buffer, speed)));
    stamp_clock(record, now);
    record.accuracy_coord = 1.0;
    record.x_coord = degrees(read_float64(buffer, longitude_rad));
    record.y_coord = degrees(read_float64(buffer, latitude_rad));
    record.software_version = (boost::format("1.%1%") % build_number).str();
    return record;
}

position_record make_repeat_record(const position_record& newest, std::time_t now)
{
    position_record repeat = newest;
    repeat.entity_type = entity_type;
    repeat.status_service.clear();
    repeat.speed_gps = 0.0;
    stamp_clock(repeat, now);
    return repeat;
}
