#include "coordinates/timer_thread.hpp"

#include <string>

#include "delivery/delivery_store.hpp"
#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "log/foreign_text.hpp"
#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

timer_thread::timer_thread(wxEvtHandler* owner, delivery_store& store, poll_timing timing)
    : configured_worker("poller", owner, timing.period), store_(store), timing_(timing), client_(timing.wait_limit)
{
}

void timer_thread::configure(poller_settings values)
{
    offer_settings(std::move(values));
}

void timer_thread::wake()
{
    client_.abort();
    periodic_worker::wake();
}

void timer_thread::tick()
{
    // New settings: the next cycle connects with them.
    if (take_settings())
        client_.close();
    if (settings_.device.empty()) {
        queue_status(owner_, coordinate_status{coordinate_status::kind::no_device, {}, {}});
    } else {
        poll(settings_);
        hand_off();
    }
}

void timer_thread::poll(const poller_settings& settings)
{
    if (!client_.is_open()) {
        repeat_check();
        client_.connect(settings.address.ToStdString(), std::to_string(settings.port));
        // A connection made answers nothing yet, but is no failure either.
        if (!client_.is_open())
            report({worker_fact::kind::coordinates_missed});
        // Also after a successful connection: the first request goes out next cycle.
        queue_status(owner_, coordinate_status{});
        return;
    }
    try {
        answer_buffer buffer{};
        client_.exchange(build_request(request_value_), buffer);
        report({worker_fact::kind::coordinates_answered});
        take_answer(buffer, settings.device);
    } catch (const std::exception& e) {
        client_.close();
        report({worker_fact::kind::coordinates_missed});
        queue_log_error(owner_, foreign_text(e.what()));
    }
}

void timer_thread::take_answer(const answer_buffer& buffer, const wxString& device)
{
    const auto record = decode_answer(buffer, device, timing_.wall_clock());
    if (!record) {
        repeat_check();
        queue_status(owner_, coordinate_status{});
        return;
    }
    pending_records_.push_back(*record);
    newest_taken_ = std::chrono::steady_clock::now();
    queue_status(owner_, coordinate_status{coordinate_status::kind::position, peer_name_text(record->direction),
                                           peer_name_text(record->railway_desc), record->rail_km, answer_metres(buffer),
                                           record->y_coord, record->x_coord});
}

void timer_thread::repeat_check()
{
    // Not on the records' wall-clock times: a clock set back would hold the repeats back.
    const auto now = std::chrono::steady_clock::now();
    if (pending_records_.empty() || now - newest_taken_ < timing_.repeat_interval)
        return;
    pending_records_.push_back(make_repeat_record(pending_records_.back(), timing_.wall_clock()));
    newest_taken_ = now;
}

void timer_thread::hand_off()
{
    std::vector<std::string> messages;
    for (; pending_records_.size() > 1; pending_records_.pop_front())
        messages.push_back(make_tracking_message(pending_records_.front()));
    const std::size_t waiting = store_.hand_off(std::move(messages));
    report({worker_fact::kind::waiting, waiting});
}
