#pragma once
// One row of the HTML log: plain text in blue (information) or red (error). On the main thread the
// row goes at once to the standard wide output or error stream, which the running log redirects. From
// any other thread it is queued as EVT_LOG_INFO or EVT_LOG_ERROR to the row target, which writes it
// on the main thread: the one path by which a row from anywhere reaches the page.
#include <wx/event.h>
#include <wx/string.h>

// A row's plain text, as the event's string.
wxDECLARE_EVENT(EVT_LOG_INFO, wxThreadEvent);
wxDECLARE_EVENT(EVT_LOG_ERROR, wxThreadEvent);

void log_info(const wxString& text);
void log_error(const wxString& text);

// Where log_info and log_error on other threads send their rows from now on; null drops them.
void set_row_target(wxEvtHandler* target);

// Any thread: the row as an event to target, which writes it on the main thread.
void queue_log_info(wxEvtHandler* target, const wxString& text);
void queue_log_error(wxEvtHandler* target, const wxString& text);
