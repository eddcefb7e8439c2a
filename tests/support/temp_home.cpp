#include "temp_home.hpp"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include <wx/utils.h>

namespace {
// A folder of its own, made here and now, so that parallel tests never share one.
std::string new_unique_folder()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("routewarden-home-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate))
            return candidate.string();
    }
    throw std::runtime_error("cannot create a temporary home folder");
}
}

temp_home::temp_home()
    : path_(new_unique_folder())
{
    if (const char* home = std::getenv("HOME")) {
        previous_ = home;
        had_previous_ = true;
    }
    // The library's setter also updates the C library's copy, which getenv reads, on Windows.
    wxSetEnv("HOME", path_);
}

std::string temp_home::path_of(const std::string& relative) const
{
    return (std::filesystem::path(path_) / std::filesystem::path(relative).make_preferred()).string();
}

temp_home::~temp_home()
{
    if (had_previous_)
        wxSetEnv("HOME", previous_);
    else
        wxUnsetEnv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
