#include "log/log_rows.hpp"

#include <atomic>
#include <cwchar>
#include <iostream>
#include <string>

#include <wx/thread.h>

#include "log/row_writer.hpp"

wxDEFINE_EVENT(EVT_LOG_INFO, wxThreadEvent);
wxDEFINE_EVENT(EVT_LOG_ERROR, wxThreadEvent);

namespace {

std::atomic<wxEvtHandler*> row_target{nullptr};

// &, <, >, " and ' as HTML entities: a row is plain text, never markup.
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

void queue_row(wxEvtHandler* target, wxEventType type, const wxString& text)
{
    auto* event = new wxThreadEvent(type);
    event->SetString(text.Clone()); // deep: wxString is not safe to share across threads
    wxQueueEvent(target, event);
}

// False when the row was queued for the main thread instead.
bool on_main_thread(wxEventType type, const wxString& text)
{
    if (wxThread::IsMain())
        return true;
    if (wxEvtHandler* target = row_target.load())
        queue_row(target, type, text);
    return false;
}

}  // namespace

void write_row(std::wostream& stream, row_kind kind, const std::tm& local_time, const wxString& text)
{
    const wchar_t* const opening =
        kind == row_kind::information ? L"<td> <font color='blue'>" : L"<td> <font color='red'>";
    stream << L"<tr>" << std::endl;
    stream << L"<td>" + time_stamp(local_time) + L"</td>" << std::endl;
    stream << opening + escape_html(text).ToStdWstring() + L"</font></td>" << std::endl;
    stream << L"</tr>" << std::endl;
}

void log_info(const wxString& text)
{
    if (on_main_thread(EVT_LOG_INFO, text))
        write_row(std::wcout, row_kind::information, local_now(), text);
}

void log_error(const wxString& text)
{
    if (on_main_thread(EVT_LOG_ERROR, text))
        write_row(std::wcerr, row_kind::error, local_now(), text);
}

void set_row_target(wxEvtHandler* target)
{
    row_target = target;
}

void queue_log_info(wxEvtHandler* target, const wxString& text)
{
    queue_row(target, EVT_LOG_INFO, text);
}

void queue_log_error(wxEvtHandler* target, const wxString& text)
{
    queue_row(target, EVT_LOG_ERROR, text);
}
