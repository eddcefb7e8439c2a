#pragma once
// Stands where the main window stands for a worker: it receives the queued thread events and
// lets a test wait for them.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <wx/event.h>

struct reported_event {
    wxEventType type;
    wxString text;
    int field;
    long number; // the extra long: a tracking report's number
};

class event_sink : public wxEvtHandler {
public:
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
    void clear();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<reported_event> events_;
};
