#pragma once
#include <ctime>

// Thread-safe breakdown of a calendar time; the C library's plain localtime/gmtime share one
// static result between threads. Throws std::runtime_error when the time cannot be broken down.
std::tm local_calendar_time(std::time_t time);
std::tm utc_calendar_time(std::time_t time);
