#pragma once
#include <fstream>
#include <iterator>
#include <string>

// The whole file as text: its lines end in "\n" whatever the platform writes.
inline std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
