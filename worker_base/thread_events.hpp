#pragma once
// How workers report to the main window: thread events with a text payload, queued so that
// the handlers run on the main thread. Workers never call window code directly.
#include <wx/event.h>
#include <wx/string.h>

wxDECLARE_EVENT(EVT_LOG_INFO, wxThreadEvent);
wxDECLARE_EVENT(EVT_LOG_ERROR, wxThreadEvent);
wxDECLARE_EVENT(EVT_STATUS_TEXT, wxThreadEvent);
// What the tray icon tells at a glance. Integer: the kind; extra long: the number; text: a failure.
wxDECLARE_EVENT(EVT_TRACKING_REPORT, wxThreadEvent);

enum class tracking_report {
    delivered,            // a message was delivered; number: the messages still waiting
    delivery_failed,      // text: the failure
    waiting,              // after a hand-off or a trim; number: the messages waiting
    dropped,              // number: the oldest messages the trim dropped from those waiting
    coordinates_answered, // the coordinate server answered, with a position or without
    coordinates_missed,   // a cycle got no answer: no connection, or the exchange failed
    memory_only,          // number: 1 when the outbox cannot be used, 0 when it is used again
    worker_ended,         // a worker ended by an exception; text: the worker's name
    workers_down,         // number: the workers that ended or could not start, not yet running again
};

// Status-bar fields that the workers write.
constexpr int status_field_delivery = 0;
constexpr int status_field_coordinates = 1;

// Safe from any thread: the target takes ownership of a new event.
void queue_log_info(wxEvtHandler* target, const wxString& text);
void queue_log_error(wxEvtHandler* target, const wxString& text);
void queue_status_text(wxEvtHandler* target, int field, const wxString& text);
void queue_tracking_report(wxEvtHandler* target, tracking_report kind, long number = 0, const wxString& text = {});
