#pragma once
// A fresh home folder for one test: HOME and USERPROFILE point at it while the object lives.
#include <optional>
#include <string>
#include <utility>
#include <vector>

class temp_home {
public:
    temp_home();
    ~temp_home();
    temp_home(const temp_home&) = delete;
    temp_home& operator=(const temp_home&) = delete;

    const std::string& path() const { return path_; }
    // A path inside the home folder, given with "/" and returned in the platform's own form.
    std::string path_of(const std::string& relative) const;

private:
    std::string path_;
    std::vector<std::pair<std::string, std::optional<std::string>>> previous_; // the variables before
};
