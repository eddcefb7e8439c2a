#include "formats/tracking_message.hpp"

#include <cstdio>
#include <locale>
#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "formats/calendar_time.hpp"

namespace {
// Numbers go through a classic-locale stream so that no user locale can add grouping or a
// decimal comma; 17 digits keep every double exact.
template <typename Number>
std::string number_text(Number value)
{
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream.precision(17);
    stream << value;
    return stream.str();
}

// The UTC wall-clock time, without a zone: the timezone member tells the offset.
std::string utc_iso_time(std::int64_t time)
{
    const std::tm utc = utc_calendar_time(static_cast<std::time_t>(time));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string hour_offset(std::int32_t hours)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+03i:00", static_cast<int>(hours));
    return text;
}
}

std::string make_tracking_message(const position_record& record)
{
    boost::property_tree::ptree tree;
    tree.put("entityType", record.entity_type);
    auto& attributes = tree.put_child("attributes", {});
    // Appending keeps the member order and needs no path lookup per member.
    const auto add = [&attributes](const char* key, const std::string& value) {
        attributes.push_back({key, boost::property_tree::ptree(value)});
    };
    add("status_service", record.status_service);
    add("device", record.device);
    add("roadid", record.roadid);
    add("railasset", record.railasset);
    add("stationway", record.stationway);
    add("direction", record.direction);
    add("railway", record.railway);
    add("railway_desc", record.railway_desc);
    add("rail_km", number_text(record.rail_km));
    add("rail_pk", number_text(record.rail_pk));
    add("rail_m", number_text(record.rail_m));
    add("speed_gps", number_text(record.speed_gps));
    add("data_position", utc_iso_time(record.data_position));
    add("timezone", hour_offset(record.timezone));
    add("accuracy_coord", number_text(record.accuracy_coord));
    add("x_coord", number_text(record.x_coord));
    add("y_coord", number_text(record.y_coord));
    add("software_version", record.software_version);

    std::ostringstream stream;
    boost::property_tree::write_json(stream, tree, true);
    return stream.str();
}
