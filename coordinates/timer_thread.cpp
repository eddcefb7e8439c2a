#include "coordinates/timer_thread.hpp"

#include <stdexcept>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <boost/format.hpp>
#include <wx/intl.h>

#include "app/settings_keys.hpp"
#include "app/thread_events.hpp"
#include "coordinates/coordinate_codec.hpp"
#include "delivery/message_store.hpp"
#include "delivery/tracking_message.hpp"
#include "log/foreign_text.hpp"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {
// The answer's single-byte texts, one character per byte.
std::wstring widen(const std::string& bytes)
{
    std::wstring text;
    for (unsigned char c : bytes)
        text += static_cast<wchar_t>(c);
    return text;
}
}

timer_thread::timer_thread(wxEvtHandler* owner, poll_timing timing)
    : owner_(owner), timing_(timing), poll_timer_(loop_, timing.period),
      resolver_(socket_context_), coordinate_socket_(socket_context_)
{
}

timer_thread::~timer_thread()
{
    loop_.stop();
}

void timer_thread::load_settings(wxConfigBase& config)
{
    settings_values loaded;
    loaded.address = config.Read(settings::coordinate_server_address, settings::default_coordinate_server_address);
    loaded.port = config.Read(settings::coordinate_server_port, settings::default_coordinate_server_port);
    loaded.device = config.Read(settings::device, wxString());
    queue_log_info(owner_, wxString::Format(_("Coordinate server: %s:%s"), loaded.address, loaded.port));
    offered_settings_.offer(std::move(loaded));
}

void timer_thread::request_stop()
{
    stop_requested_ = true;
    // The socket is closed by the worker's own thread, which runs the socket context during
    // every wait; a pending wait then fails at once.
    asio::post(socket_context_, [this] { close_socket(); });
    loop_.stop();
}

wxThread::ExitCode timer_thread::Entry()
{
    wait_for_tick();
    loop_.run();
    return 0;
}

void timer_thread::wait_for_tick()
{
    poll_timer_.async_wait([this](const boost::system::error_code& error) { coordinate_tick(error); });
}

void timer_thread::coordinate_tick(const boost::system::error_code& error)
{
    if (error || stop_requested()) {
        loop_.stop();
        return;
    }
    take_settings();
    if (settings_.device.empty()) {
        queue_status_text(owner_, status_field_coordinates, _("Bad device ID"));
    } else {
        poll(settings_);
        hand_off();
    }
    poll_timer_.expires_after(timing_.period);
    wait_for_tick();
}

void timer_thread::take_settings()
{
    if (auto offered = offered_settings_.take()) {
        settings_ = std::move(*offered);
        close_socket();
    }
}

void timer_thread::poll(const settings_values& settings)
{
    if (!coordinate_socket_.is_open()) {
        repeat_check();
        connect_to_server(settings.address.ToStdString(), settings.port.ToStdString());
        // Also after a successful connection: the first request goes out next cycle.
        queue_status_text(owner_, status_field_coordinates, _("Coordinate server: no data."));
        return;
    }
    try {
        answer_buffer buffer{};
        exchange(buffer);
        take_answer(buffer, settings.device);
    } catch (const std::exception& e) {
        close_socket();
        queue_log_error(owner_, foreign_text(e.what()));
    }
}

bool timer_thread::connect_to_server(const std::string& host, const std::string& port)
{
    boost::system::error_code error;
    const auto endpoints = resolver_.resolve(host, port, tcp::resolver::numeric_service, error);
    if (!error && await([&](auto done) { asio::async_connect(coordinate_socket_, endpoints, done); }, timing_.wait_limit))
        return true;
    close_socket();
    return false;
}

void timer_thread::exchange(answer_buffer& buffer)
{
    discard_waiting_bytes();
    const coordinate_request request = build_request(request_value_);
    if (!await([&](auto done) { coordinate_socket_.async_wait(tcp::socket::wait_write, done); }, timing_.wait_limit))
        throw std::runtime_error("CoordServer wait error");
    boost::system::error_code error;
    coordinate_socket_.send(asio::buffer(request), 0, error);
    if (error)
        throw std::runtime_error("CoordServer send error");
    // A position may come in several segments: its fields are read only once all have arrived,
    // all within one wait limit. Under 13 bytes the flag is still zero, which is no data at once.
    const auto deadline = std::chrono::steady_clock::now() + timing_.wait_limit;
    std::size_t received = 0;
    do {
        if (!await([&](auto done) { coordinate_socket_.async_wait(tcp::socket::wait_read, done); },
                   deadline - std::chrono::steady_clock::now()))
            throw std::runtime_error(received == 0 ? "CoordServer wait error" : "CoordServer receive error");
        received += receive_into(buffer, received);
    } while (buffer[answer_layout::data_flag] != 0 && received < answer_layout::end_of_fields);
}

std::size_t timer_thread::receive_into(answer_buffer& buffer, std::size_t offset)
{
    boost::system::error_code error;
    // A server that closed the connection gives end of file here.
    const std::size_t received = coordinate_socket_.receive(asio::buffer(buffer) + offset, 0, error);
    if (error)
        throw std::runtime_error("CoordServer receive error");
    return received;
}

void timer_thread::discard_waiting_bytes()
{
    // Only what is there now: a server that keeps sending cannot hold the cycle here.
    boost::system::error_code error;
    std::size_t waiting = coordinate_socket_.available(error);
    answer_buffer discarded;
    while (!error && waiting > 0)
        waiting -= coordinate_socket_.receive(asio::buffer(discarded, waiting), 0, error);
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
                        widen(record->direction) % widen(record->railway_desc) % record->rail_km %
                        answer_metres(buffer) % record->y_coord % record->x_coord;
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
    wxMutexLocker lock(message_store_mutex);
    while (pending_records_.size() > 1) {
        message_store.push_back(make_tracking_message(pending_records_.front()));
        pending_records_.pop_front();
    }
    notification_queue.Post(static_cast<unsigned int>(message_store.size()));
}

void timer_thread::close_socket()
{
    boost::system::error_code ignored;
    coordinate_socket_.close(ignored);
}

template <class Start> bool timer_thread::await(Start start, std::chrono::steady_clock::duration limit)
{
    boost::system::error_code result = asio::error::would_block;
    start([&result](const boost::system::error_code& error, auto&&...) { result = error; });
    socket_context_.restart();
    socket_context_.run_for(limit);
    if (result == asio::error::would_block) {
        // Out of time: closing aborts the operation, whose completion must still run here.
        close_socket();
        socket_context_.restart();
        socket_context_.run();
    }
    return !result;
}
