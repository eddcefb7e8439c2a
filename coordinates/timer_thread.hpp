#pragma once
// The coordinate poller: every poll period it asks the coordinate server for the position,
// reports the answer, and hands every record but the newest to the sender.
#include <chrono>
#include <ctime>
#include <deque>
#include <string>

#include <wx/event.h>
#include <wx/string.h>

#include "coordinates/coordinate_client.hpp"
#include "coordinates/poll_timing.hpp"
#include "coordinates/poller_settings.hpp"
#include "formats/position_record.hpp"
#include "worker_base/periodic_worker.hpp"
#include "worker_base/worker_thread.hpp"

class delivery_store;

class timer_thread : public configured_worker<poller_settings, periodic_worker> {
public:
    // The first cycle runs one period after construction. The store outlives the worker.
    timer_thread(wxEvtHandler* owner, delivery_store& store, poll_timing timing = {});

    // Main thread, before the start or while running: the next cycle connects with the new values.
    void configure(poller_settings values);

private:
    // Ends an exchange in flight, then the loop.
    void wake() override;
    void tick() override;
    void poll(const poller_settings& settings);
    void take_answer(const answer_buffer& buffer, const wxString& device);
    void repeat_check();
    void hand_off();

    delivery_store& store_;
    poll_timing timing_;
    coordinate_client client_;
    double request_value_ = 0.0;
    std::deque<position_record> pending_records_;
    std::chrono::steady_clock::time_point newest_taken_; // steady time the newest record was made
};
