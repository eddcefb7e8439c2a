#include "temp_home.hpp"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

temp_home::temp_home()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "routewarden-home-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary home folder");
    path_ = pattern;
    if (const char* home = std::getenv("HOME")) {
        previous_ = home;
        had_previous_ = true;
    }
    setenv("HOME", path_.c_str(), 1);
}

temp_home::~temp_home()
{
    if (had_previous_)
        setenv("HOME", previous_.c_str(), 1);
    else
        unsetenv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
