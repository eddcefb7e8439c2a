#pragma once
// What the tray icon tells at a glance, kept on the main thread from the workers' facts: the last
// delivery, the messages waiting and dropped, and whether tracking is failing. No GUI.
#include <wx/datetime.h>
#include <wx/string.h>

#include "worker_base/thread_events.hpp"

class tracking_state {
public:
    // now: when the fact reached the main thread, taken as the time of a delivery.
    void take(const worker_fact& fact, const wxDateTime& now);
    // The workers that ended or could not start, not yet running again.
    void set_workers_down(std::size_t count) { workers_down_ = count; }
    // Whether the device ID in force is empty: nothing is tracked.
    void set_no_device(bool missing) { no_device_ = missing; }

    // The device ID is empty, the last delivery failed, the coordinate server gave no answer for the
    // last three cycles, the waiting messages are kept in memory only, or a worker is down.
    bool failing() const
    {
        return no_device_ || delivery_failing_ || coordinates_failing() || memory_only_ || workers_down_ > 0;
    }

    std::size_t waiting() const { return waiting_; }

    // The title, the last delivery, the messages waiting and dropped, and while failing the
    // latest failure; cut to what the Windows notification area shows.
    wxString tooltip(const wxString& title) const;

private:
    bool coordinates_failing() const;
    wxString failure_line(std::size_t room) const;

    wxDateTime last_delivery_;
    std::size_t waiting_ = 0;
    std::size_t dropped_ = 0;
    bool delivery_failing_ = false; // the last delivery failed
    wxString delivery_failure_;
    int coordinate_misses_ = 0; // cycles in a row without an answer
    bool coordinates_failed_last_ = false;
    bool memory_only_ = false; // the outbox cannot be used
    std::size_t workers_down_ = 0;
    bool no_device_ = false;
};
