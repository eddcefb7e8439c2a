#pragma once
#include <string>

#include "formats/position_record.hpp"

// The tracking service's JSON message for one record: pretty-printed, every value a string,
// ending with one line feed.
std::string make_tracking_message(const position_record& record);
