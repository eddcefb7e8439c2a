#include "event_sink.hpp"

#include <memory>

void event_sink::QueueEvent(wxEvent* event)
{
    std::unique_ptr<wxEvent> owned(event);
    auto* thread_event = dynamic_cast<wxThreadEvent*>(event);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({event->GetEventType(), thread_event ? thread_event->GetString().Clone() : wxString(),
                           thread_event ? thread_event->GetInt() : 0, thread_event ? thread_event->GetExtraLong() : 0});
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
    return wait_for(
        [&](const std::vector<reported_event>& events) {
            for (const auto& e : events)
                if (e.type == type && e.text.Contains(fragment))
                    return true;
            return false;
        },
        timeout);
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
