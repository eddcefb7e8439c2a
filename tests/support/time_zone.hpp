#pragma once
// Sets the process's time zone (TZ) while the object lives.
#include <cstdlib>
#include <ctime>
#include <string>

#include <wx/utils.h>

class time_zone {
public:
    explicit time_zone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
            had_previous_ = true;
        }
        apply(zone);
    }
    ~time_zone() { apply(had_previous_ ? previous_.c_str() : nullptr); }
    time_zone(const time_zone&) = delete;
    time_zone& operator=(const time_zone&) = delete;

private:
    static void apply(const char* zone)
    {
        if (zone)
            wxSetEnv("TZ", zone);
        else
            wxUnsetEnv("TZ");
        tzset();
    }

    std::string previous_;
    bool had_previous_ = false;
};
