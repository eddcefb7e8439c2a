// The reentrant variants are spelled differently on Windows; this is the only place that cares.
#include "formats/calendar_time.hpp"

#include <stdexcept>

std::tm local_calendar_time(std::time_t time)
{
    std::tm result{};
#ifdef _WIN32
    const bool ok = localtime_s(&result, &time) == 0;
#else
    const bool ok = localtime_r(&time, &result) != nullptr;
#endif
    if (!ok)
        throw std::runtime_error("could not convert calendar time to local time");
    return result;
}

std::tm utc_calendar_time(std::time_t time)
{
    std::tm result{};
#ifdef _WIN32
    const bool ok = gmtime_s(&result, &time) == 0;
#else
    const bool ok = gmtime_r(&time, &result) != nullptr;
#endif
    if (!ok)
        throw std::runtime_error("could not convert calendar time to UTC time");
    return result;
}

long utc_offset_seconds(std::time_t time)
{
    const std::tm local = local_calendar_time(time);
    const std::tm utc = utc_calendar_time(time);
    // The two dates are at most a day apart: across a year's end the later one is the next day.
    const long days = local.tm_year != utc.tm_year ? local.tm_year - utc.tm_year : local.tm_yday - utc.tm_yday;
    return ((days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min) * 60 + local.tm_sec -
           utc.tm_sec;
}
