#pragma once
// A fresh home folder for one test: HOME points at it while the object lives.
#include <string>

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
    std::string previous_;
    bool had_previous_ = false;
};
