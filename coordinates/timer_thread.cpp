#include "coordinates/timer_thread.hpp"

#include <boost/format.hpp>
#include <wx/intl.h>

#include "delivery/delivery_store.hpp"
#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "log/foreign_text.hpp"
#include "worker_base/thread_events.hpp"

timer_thread::timer_thread(wxEvtHandler* owner, delivery_store& store, poll_timing timing)
    : configured_worker("poller", owner, timing.period), store_(store), timing_(timing), client_(timing.wait_limit)
{
}

void timer_thread::configure(poller_settings values)
{
    queue_log_info(owner_, wxString::Format(_("Coordinate server: %s:%s"), values.address, values.port));
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
        queue_status_text(owner_, status_field_coordinates, _("Bad device ID"));
    } else {
        poll(settings_);
        hand_off();
    }
}

void timer_thread::poll(const poller_settings& settings)
{
    if (!client_.is_open()) {
        repeat_check();
        client_.connect(settings.address.ToStdString(), settings.port.ToStdString());
        // A connection made answers nothing yet, but is no failure either.
        if (!client_.is_open())
            queue_tracking_report(owner_, tracking_report::coordinates_missed);
        // Also after a successful connection: the first request goes out next cycle.
        queue_status_text(owner_, status_field_coordinates, _("Coordinate server: no data."));
        return;
    }
    try {
        answer_buffer buffer{};
        client_.exchange(build_request(request_value_), buffer);
        queue_tracking_report(owner_, tracking_report::coordinates_answered);
        take_answer(buffer, settings.device);
    } catch (const std::exception& e) {
        client_.close();
        queue_tracking_report(owner_, tracking_report::coordinates_missed);
        queue_log_error(owner_, foreign_text(e.what()));
    }
}

void timer_thread::take_answer(const answer_buffer& buffer, const wxString& device)
{
    const auto record = decode_answer(buffer, device, timing_.wall_clock());
    if (!record) {
        repeat_check();
        queue_status_text(owner_, status_field_coordinates, _("Coordinate server: no data."));
        return;
    }
    pending_records_.push_back(*record);
    newest_taken_ = std::chrono::steady_clock::now();
    const auto status = boost::wformat(_("Coordinate server: %1%-%2% %3% km %4% m Lat=%5% Lon=%6%.").ToStdWstring()) %
                        peer_name_text(record->direction).ToStdWstring() %
                        peer_name_text(record->railway_desc).ToStdWstring() % record->rail_km % answer_metres(buffer) %
                        record->y_coord % record->x_coord;
    queue_status_text(owner_, status_field_coordinates, status.str());
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
    queue_tracking_report(owner_, tracking_report::waiting, static_cast<long>(waiting));
}
