#include "event_sink.hpp"

#include <memory>

#include "app/status_texts.hpp"
#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

event_sink::event_sink()
{
    set_row_target(this);
}

event_sink::~event_sink()
{
    set_row_target(nullptr);
}

void event_sink::QueueEvent(wxEvent* event)
{
    std::unique_ptr<wxEvent> owned(event);
    const auto& thread_event = static_cast<const wxThreadEvent&>(*event);
    reported_event reported{event->GetEventType(), thread_event.GetString().Clone(), 0, 0};
    if (reported.type == EVT_STATUS_TEXT) {
        const status_fact status = status_of(thread_event);
        reported.field = static_cast<int>(status.index());
        reported.text = std::visit([](const auto& fact) { return status_text(fact); }, status);
    } else if (reported.type == EVT_WORKER_FACT) {
        const worker_fact fact = fact_of(thread_event);
        reported = {reported.type, fact.text, static_cast<int>(fact.what), static_cast<long>(fact.count)};
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(reported);
    }
    changed_.notify_all();
}

std::vector<reported_event> event_sink::events() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

bool event_sink::wait_for(const std::function<bool(const std::vector<reported_event>&)>& done,
                          std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(events_); });
}

bool event_sink::wait_for_text(wxEventType type, const wxString& fragment, std::chrono::milliseconds timeout) const
{
    return wait_for([&](const std::vector<reported_event>& events) { return count_in(events, type, fragment) > 0; },
                    timeout);
}

bool event_sink::wait_for_facts(worker_fact::kind kind, std::size_t at_least, std::chrono::milliseconds timeout) const
{
    return wait_for([&](const std::vector<reported_event>& events) { return facts_in(events, kind) >= at_least; },
                    timeout);
}

std::size_t count_in(const std::vector<reported_event>& events, wxEventType type, const wxString& fragment)
{
    std::size_t n = 0;
    for (const auto& e : events)
        n += e.type == type && e.text.Contains(fragment);
    return n;
}

std::size_t facts_in(const std::vector<reported_event>& events, worker_fact::kind kind)
{
    std::size_t n = 0;
    for (const auto& e : events)
        n += e.type == EVT_WORKER_FACT && e.field == static_cast<int>(kind);
    return n;
}

void event_sink::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

std::vector<wxString> event_sink::texts(wxEventType type) const
{
    std::vector<wxString> found;
    for (const reported_event& e : events())
        if (e.type == type)
            found.push_back(e.text);
    return found;
}
