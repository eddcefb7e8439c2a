#pragma once
// The tracking service's JSON message for one record: pretty-printed, every value a string,
// ending with one line feed.
#include <string>

#include "formats/position_record.hpp"

std::string make_tracking_message(const position_record& record);
