#include "log/ansi_code_page.hpp"

#ifdef _WIN32
#include <string>

#include <windows.h>

wxString ansi_code_page_text(const char* bytes, std::size_t length)
{
    const int size = static_cast<int>(length);
    std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, bytes, size, nullptr, 0)), L'\0');
    if (!text.empty())
        MultiByteToWideChar(CP_ACP, 0, bytes, size, text.data(), static_cast<int>(text.size()));
    return wxString(text);
}
#else
#include <wx/strconv.h>

wxString ansi_code_page_text(const char* bytes, std::size_t length)
{
    return wxString(bytes, wxCSConv(wxFONTENCODING_CP1251), length);
}
#endif
