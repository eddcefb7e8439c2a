#include "formats/calendar_time.hpp"

#include <stdexcept>

// The reentrant variants are spelled differently on Windows; this is the only place that cares.
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
