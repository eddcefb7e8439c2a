#include "log/log_rows.hpp"

#include <cwchar>
#include <iostream>
#include <string>

#include "log/row_writer.hpp"

namespace {

std::tm local_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm broken_down{};
    if (const std::tm* local = std::localtime(&now))
        broken_down = *local;
    return broken_down;
}

std::wstring time_stamp(const std::tm& local_time)
{
    wchar_t text[64];
    const std::size_t length = std::wcsftime(text, sizeof text / sizeof *text, L"%d.%m.%Y %H:%M:%S", &local_time);
    return std::wstring(text, length);
}

}  // namespace

void write_row(std::wostream& stream, row_kind kind, const std::tm& local_time, const wxString& text)
{
    const wchar_t* const opening =
        kind == row_kind::information ? L"<td> <font color='blue'>" : L"<td> <font color='red'>";
    stream << L"<tr>" << std::endl;
    stream << L"<td>" + time_stamp(local_time) + L"</td>" << std::endl;
    stream << opening + text.ToStdWstring() + L"</font></td>" << std::endl;
    stream << L"</tr>" << std::endl;
}

void log_info(const wxString& text)
{
    write_row(std::wcout, row_kind::information, local_now(), text);
}

void log_error(const wxString& text)
{
    write_row(std::wcerr, row_kind::error, local_now(), text);
}

wxString escape_html(const wxString& text)
{
    wxString escaped;
    escaped.reserve(text.length());
    for (const wxUniChar c : text) {
        switch (c.GetValue()) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}
