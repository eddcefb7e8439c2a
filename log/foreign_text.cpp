#include "log/foreign_text.hpp"

#include <cstring>

#include <wx/strconv.h>

namespace {
wxString decoded(const char* bytes, std::size_t length)
{
    // A failed conversion gives an empty text; Latin-1 accepts every byte.
    const wxMBConv* const conversions[] = {&wxConvUTF8, &wxConvLibc};
    for (const wxMBConv* conversion : conversions) {
        wxString text(bytes, *conversion, length);
        if (!text.empty())
            return text;
    }
    return wxString(bytes, wxConvISO8859_1, length);
}
}

wxString foreign_text(const char* bytes, std::size_t length)
{
    if (length == 0)
        return wxString();
    wxString text = decoded(bytes, length);
    if (text.length() > max_foreign_characters)
        text = text.Left(max_foreign_characters) + wxString::FromUTF8("\u2026");
    return text;
}

wxString foreign_text(const char* text)
{
    return text ? foreign_text(text, std::strlen(text)) : wxString();
}
