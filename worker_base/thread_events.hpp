#pragma once
// How workers report to the main window: thread events with a text payload, queued so that
// the handlers run on the main thread. Workers never call window code directly.
#include <wx/event.h>
#include <wx/string.h>

wxDECLARE_EVENT(EVT_LOG_INFO, wxThreadEvent);
wxDECLARE_EVENT(EVT_LOG_ERROR, wxThreadEvent);
wxDECLARE_EVENT(EVT_STATUS_TEXT, wxThreadEvent);

// Status-bar fields that the workers write.
constexpr int status_field_delivery = 0;
constexpr int status_field_coordinates = 1;

// Safe from any thread: the target takes ownership of a new event.
void queue_log_info(wxEvtHandler* target, const wxString& text);
void queue_log_error(wxEvtHandler* target, const wxString& text);
void queue_status_text(wxEvtHandler* target, int field, const wxString& text);
