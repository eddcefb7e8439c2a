#pragma once
// Where the redirected standard wide streams deliver their characters.
#include <cstddef>

class log_sink {
public:
    virtual void append(const wchar_t* text, std::size_t length) = 0;

protected:
    ~log_sink() = default;
};
