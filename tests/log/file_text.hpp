#pragma once
#include <fstream>
#include <iterator>
#include <string>

// The whole file as it is on disk.
inline std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
