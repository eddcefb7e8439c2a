#include "log/foreign_text.hpp"

#include <cstring>

#include <wx/strconv.h>

#include "log/ansi_code_page.hpp"

namespace {
// UTF-8 first, then the reading of the bytes that second gives; a failed conversion gives an
// empty text, and Latin-1 at last accepts every byte.
template <typename Reading> wxString decoded(const char* bytes, std::size_t length, Reading second)
{
    wxString text(bytes, wxConvUTF8, length);
    if (text.empty())
        text = second(bytes, length);
    return text.empty() ? wxString(bytes, wxConvISO8859_1, length) : text;
}
}

wxString foreign_text(const char* bytes, std::size_t length)
{
    if (length == 0)
        return wxString();
    wxString text =
        decoded(bytes, length, [](const char* in, std::size_t size) { return wxString(in, wxConvLibc, size); });
    if (text.length() > max_foreign_characters)
        text = text.Left(max_foreign_characters) + wxString::FromUTF8("\u2026");
    return text;
}

wxString foreign_text(const char* text)
{
    return text ? foreign_text(text, std::strlen(text)) : wxString();
}

wxString peer_name_text(const std::string& bytes)
{
    return bytes.empty() ? wxString() : decoded(bytes.data(), bytes.size(), ansi_code_page_text);
}
