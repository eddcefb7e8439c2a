#pragma once
#include <cstdint>
#include <string>

// One position sample. Field names are the tracking message's attribute names; texts are
// bytes as the coordinate server sent them.
struct position_record {
    std::string entity_type;
    std::string status_service;
    std::string device;
    std::string roadid;
    std::string railasset;
    std::string stationway;
    std::string direction;
    std::string railway;
    std::string railway_desc;
    std::int32_t rail_km = 0;
    std::int32_t rail_pk = 0;
    std::int32_t rail_m = 0;
    double speed_gps = 0.0;
    std::int64_t data_position = 0;
    std::int32_t timezone = 0;
    double accuracy_coord = 1.0;
    double x_coord = 0.0;
    double y_coord = 0.0;
    std::string software_version;
};
