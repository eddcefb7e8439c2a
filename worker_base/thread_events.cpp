#include "worker_base/thread_events.hpp"

wxDEFINE_EVENT(EVT_STATUS_TEXT, wxThreadEvent);
wxDEFINE_EVENT(EVT_WORKER_FACT, wxThreadEvent);

namespace {
// wxString is not safe to share across threads.
coordinate_status deep_copy(coordinate_status status)
{
    status.direction = status.direction.Clone();
    status.railway = status.railway.Clone();
    return status;
}
}

void queue_status(wxEvtHandler* target, const status_fact& fact)
{
    auto* event = new wxThreadEvent(EVT_STATUS_TEXT);
    if (const auto* status = std::get_if<coordinate_status>(&fact))
        event->SetPayload(status_fact(deep_copy(*status)));
    else
        event->SetPayload(fact);
    wxQueueEvent(target, event);
}

void queue_fact(wxEvtHandler* target, worker_fact fact)
{
    auto* event = new wxThreadEvent(EVT_WORKER_FACT);
    fact.text = fact.text.Clone();
    fact.worker = fact.worker.Clone();
    event->SetPayload(fact);
    wxQueueEvent(target, event);
}

status_fact status_of(const wxThreadEvent& event)
{
    return event.GetPayload<status_fact>();
}

worker_fact fact_of(const wxThreadEvent& event)
{
    return event.GetPayload<worker_fact>();
}
