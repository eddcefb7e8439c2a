#pragma once
// The whole file as text: its lines end in "\n" whatever the platform writes.
#include <fstream>
#include <iterator>
#include <string>

inline std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
