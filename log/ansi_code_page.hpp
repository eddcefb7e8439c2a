#pragma once
// The one place that knows which single-byte code page a peer's text is in when it is not UTF-8:
// on Windows the system's ANSI code page (Windows-1251 on a Russian system); elsewhere, which has
// no such code page, Windows-1251, the one the coordinate servers use.
#include <cstddef>

#include <wx/string.h>

// Empty when the bytes do not convert.
wxString ansi_code_page_text(const char* bytes, std::size_t length);
