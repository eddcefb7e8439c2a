#pragma once
// Whole files read and written by tests. A path held as UTF-8 comes through std::filesystem::u8path
// (fs_path for a wxFileName): Windows takes a narrow path in its ANSI code page.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <wx/filename.h>

inline std::filesystem::path fs_path(const wxFileName& file)
{
    return std::filesystem::u8path(file.GetFullPath().utf8_string());
}

// A missing file throws, so that a check names it rather than comparing with "".
inline std::string file_contents(const std::filesystem::path& path, std::ios::openmode mode)
{
    std::ifstream in(path, std::ios::in | mode);
    if (!in)
        throw std::runtime_error("cannot read " + path.u8string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Byte for byte.
inline std::string file_bytes(const std::filesystem::path& path)
{
    return file_contents(path, std::ios::binary);
}

// As text: lines end in "\n" whatever the platform writes.
inline std::string file_text(const std::filesystem::path& path)
{
    return file_contents(path, {});
}

// Byte for byte, into a new or truncated file, its folders made first.
inline void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    if (!(out << bytes))
        throw std::runtime_error("cannot write " + path.u8string());
}
