#pragma once
// Thread-safe breakdown of a calendar time; the C library's plain localtime/gmtime share one
// static result between threads. Throws std::runtime_error when the time cannot be broken down.
#include <ctime>

std::tm local_calendar_time(std::time_t time);
std::tm utc_calendar_time(std::time_t time);
// The local time's offset from UTC in force at that moment, in seconds east of Greenwich: the
// difference of its two breakdowns, so that no local wall-clock time is ever read back.
long utc_offset_seconds(std::time_t time);
