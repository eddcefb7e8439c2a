#include "worker_base/thread_events.hpp"

wxDEFINE_EVENT(EVT_LOG_INFO, wxThreadEvent);
wxDEFINE_EVENT(EVT_LOG_ERROR, wxThreadEvent);
wxDEFINE_EVENT(EVT_STATUS_TEXT, wxThreadEvent);
wxDEFINE_EVENT(EVT_TRACKING_REPORT, wxThreadEvent);

namespace {
void queue(wxEvtHandler* target, wxEventType type, const wxString& text, int field, long number = 0)
{
    auto* event = new wxThreadEvent(type, wxID_ANY);
    // Deep copy: the event crosses threads and wxString is not safe to share.
    event->SetString(text.Clone());
    event->SetInt(field);
    event->SetExtraLong(number);
    wxQueueEvent(target, event);
}
}

void queue_log_info(wxEvtHandler* target, const wxString& text) { queue(target, EVT_LOG_INFO, text, 0); }
void queue_log_error(wxEvtHandler* target, const wxString& text) { queue(target, EVT_LOG_ERROR, text, 0); }
void queue_status_text(wxEvtHandler* target, int field, const wxString& text)
{
    queue(target, EVT_STATUS_TEXT, text, field);
}

void queue_tracking_report(wxEvtHandler* target, tracking_report kind, long number, const wxString& text)
{
    queue(target, EVT_TRACKING_REPORT, text, static_cast<int>(kind), number);
}
