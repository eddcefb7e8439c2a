#pragma once
#include <cstddef>
#include <string>

#include <wx/string.h>

constexpr std::size_t max_foreign_characters = 500;

// Bytes from outside the program (exception descriptions, library and peer texts) as display
// text: read as UTF-8, else in the user's character encoding, else byte by byte, each byte as the
// character of that code point. Text that is not empty never comes out empty. A text longer than
// max_foreign_characters is cut there and ends in "…": a peer's long answer must not make every
// row it fills as long.
wxString foreign_text(const char* bytes, std::size_t length);
// The same for a NUL-terminated text; null reads as empty.
wxString foreign_text(const char* text);
// A name a peer sends (the coordinate server's directions and lines): read as UTF-8, else in the
// ANSI code page (log/ansi_code_page.hpp), else byte by byte. Never cut: the answer bounds it.
wxString peer_name_text(const std::string& bytes);
