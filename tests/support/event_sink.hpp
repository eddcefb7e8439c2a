#pragma once
// Stands where the agent stands for a worker: it receives the queued thread events and lets a
// test wait for them.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <wx/event.h>

#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

// A status event's field: which of the two kinds of status fact it carries.
enum reported_status { delivery_status = 0, coordinates_status = 1 };

struct reported_event {
    wxEventType type;
    wxString text; // a row's text, a status as the status bar shows it, or a worker fact's text
    int field;     // a status's reported_status, or a worker fact's kind
    long number;   // a worker fact's count
};

// The events of this type whose text contains the fragment.
std::size_t count_in(const std::vector<reported_event>& events, wxEventType type, const wxString& fragment = {});
// The worker facts of this kind.
std::size_t facts_in(const std::vector<reported_event>& events, worker_fact::kind kind);

// Where log_info and log_error send the rows of other threads while it lives, too.
class event_sink : public wxEvtHandler {
public:
    event_sink();
    ~event_sink() override;

    void QueueEvent(wxEvent* event) override;

    std::vector<reported_event> events() const;
    // The texts of the events of this type so far, in their order.
    std::vector<wxString> texts(wxEventType type) const;
    // Waits until the predicate holds for the events so far; false when the time runs out.
    bool wait_for(const std::function<bool(const std::vector<reported_event>&)>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Waits for an event of this type whose text contains the fragment.
    bool wait_for_text(wxEventType type, const wxString& fragment,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Waits for at least this many facts of the kind.
    bool wait_for_facts(worker_fact::kind kind, std::size_t at_least,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    std::size_t count(wxEventType type, const wxString& fragment = {}) const
    {
        return count_in(events(), type, fragment);
    }
    std::size_t facts(worker_fact::kind kind) const { return facts_in(events(), kind); }
    void clear();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<reported_event> events_;
};
