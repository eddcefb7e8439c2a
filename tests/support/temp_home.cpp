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

// The agent's files live under HOME, and on Windows under USERPROFILE.
constexpr const char* home_variables[] = {"HOME", "USERPROFILE"};

temp_home::temp_home()
    : path_(new_unique_folder())
{
    for (const char* name : home_variables) {
        const char* value = std::getenv(name);
        previous_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        // The library's setter also updates the C library's copy, which getenv reads, on Windows.
        wxSetEnv(name, path_);
    }
}

std::string temp_home::path_of(const std::string& relative) const
{
    return (std::filesystem::path(path_) / std::filesystem::path(relative).make_preferred()).string();
}

temp_home::~temp_home()
{
    for (const auto& [name, value] : previous_) {
        if (value)
            wxSetEnv(name, *value);
        else
            wxUnsetEnv(name);
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
