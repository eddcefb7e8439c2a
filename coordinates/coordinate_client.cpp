#include "coordinates/coordinate_client.hpp"

#include <functional>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>

#include "worker_base/thread_name.hpp"

namespace asio = boost::asio;
using asio::ip::tcp;

// A name lookup on a thread of its own. The system's resolver cannot be cancelled and may wait far
// longer than the poller's limit for a DNS server that does not answer: a lookup that outlasts its
// wait is left to end by itself, holding only this, and nothing waits for its thread, not even at
// exit.
struct coordinate_client::lookup {
    lookup(std::string host, std::string port) : host(std::move(host)), port(std::move(port)) {}

    const std::string host;
    const std::string port;
    std::mutex mutex; // guards the members below
    bool done = false;
    boost::system::error_code error;
    tcp::resolver::results_type endpoints;
    std::function<void()> on_done; // set while a client waits
};

namespace {
// Leftovers of earlier answers come to a few hundred bytes; far more is a server that never stops.
constexpr std::size_t max_discarded_bytes = 64 * 1024;
}

coordinate_client::coordinate_client(std::chrono::milliseconds wait_limit)
    : wait_limit_(wait_limit), socket_(context_), lookup_wait_(context_)
{
}

void coordinate_client::connect(const std::string& host, const std::string& port)
{
    look_up(host, port);
    if (!await_lookup()) {
        close();
        return;
    }
    const auto found = std::exchange(lookup_, nullptr);
    if (found->error || !await([&](auto done) { asio::async_connect(socket_, found->endpoints, done); }, wait_limit_))
        close();
}

void coordinate_client::look_up(const std::string& host, const std::string& port)
{
    // One thread per name at most: a lookup still running from an earlier cycle is waited for again.
    if (lookup_ && lookup_->host == host && lookup_->port == port)
        return;
    lookup_ = std::make_shared<lookup>(host, port);
    try {
        start_lookup_thread(lookup_);
    } catch (const std::system_error&) {
        // No thread to be had: this cycle fails like a name not found, the next one tries again.
        lookup_->done = true;
        lookup_->error = boost::system::errc::make_error_code(boost::system::errc::resource_unavailable_try_again);
    }
}

void coordinate_client::start_lookup_thread(const std::shared_ptr<lookup>& pending)
{
    std::thread([state = pending] {
        name_this_thread("name lookup");
        asio::io_context own; // a blocking lookup: the context starts no thread that would be joined
        tcp::resolver resolver(own);
        boost::system::error_code error;
        auto endpoints = resolver.resolve(state->host, state->port, tcp::resolver::numeric_service, error);
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->error = error;
        state->endpoints = std::move(endpoints);
        state->done = true;
        if (state->on_done)
            state->on_done();
    }).detach();
}

bool coordinate_client::await_lookup()
{
    const auto deadline = std::chrono::steady_clock::now() + wait_limit_;
    const auto ended = [state = lookup_] {
        const std::lock_guard<std::mutex> lock(state->mutex);
        return state->done;
    };
    const auto notify = [state = lookup_](std::function<void()> on_done) {
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->on_done = std::move(on_done);
    };
    // Posted, so that the wait ends on this thread. A notice run late, in a later wait, cancels a
    // timer no one waits on or wakes this loop, which waits again unless the lookup has ended.
    notify([this] { asio::post(context_, [this] { lookup_wait_.cancel(); }); });
    while (!aborted_ && !ended() && std::chrono::steady_clock::now() < deadline) {
        lookup_wait_.expires_at(deadline);
        lookup_wait_.async_wait([](const boost::system::error_code&) {});
        context_.restart();
        context_.run();
    }
    // The client may be gone before the lookup ends.
    notify(nullptr);
    return !aborted_ && ended();
}

void coordinate_client::exchange(const coordinate_request& request, answer_buffer& buffer)
{
    discard_waiting_bytes();
    if (!await([&](auto done) { socket_.async_wait(tcp::socket::wait_write, done); }, wait_limit_))
        throw std::runtime_error("CoordServer wait error");
    boost::system::error_code error;
    socket_.send(asio::buffer(request), 0, error);
    if (error)
        throw std::runtime_error("CoordServer send error");
    // A position may come in several segments: its fields are read only once all have arrived,
    // all within one wait limit. Under 13 bytes the flag is still zero, which is no data at once.
    const auto deadline = std::chrono::steady_clock::now() + wait_limit_;
    std::size_t received = 0;
    do {
        if (!await([&](auto done) { socket_.async_wait(tcp::socket::wait_read, done); },
                   deadline - std::chrono::steady_clock::now()))
            throw std::runtime_error(received == 0 ? "CoordServer wait error" : "CoordServer receive error");
        received += receive_into(buffer, received);
    } while (buffer[answer_layout::data_flag] != 0 && received < answer_layout::end_of_fields);
}

void coordinate_client::close()
{
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void coordinate_client::abort()
{
    // The socket is closed by the user's own thread, which runs the context during every wait.
    asio::post(context_, [this] {
        aborted_ = true;
        close();
        lookup_wait_.cancel();
    });
}

std::size_t coordinate_client::receive_into(answer_buffer& buffer, std::size_t offset)
{
    boost::system::error_code error;
    // A server that closed the connection gives end of file here.
    const std::size_t received = socket_.receive(asio::buffer(buffer) + offset, 0, error);
    if (error)
        throw std::runtime_error("CoordServer receive error");
    return received;
}

void coordinate_client::discard_waiting_bytes()
{
    // Read without waiting until nothing is left, not by the count available() reports, which
    // not every socket layer keeps whole; bounded, so that a server that keeps sending cannot
    // hold the cycle here.
    boost::system::error_code error;
    socket_.non_blocking(true, error);
    answer_buffer discarded;
    for (std::size_t total = 0; !error && total < max_discarded_bytes;)
        total += socket_.receive(asio::buffer(discarded), 0, error);
    boost::system::error_code ignored;
    socket_.non_blocking(false, ignored);
}

template <class Start> bool coordinate_client::await(Start start, std::chrono::steady_clock::duration limit)
{
    boost::system::error_code result = asio::error::would_block;
    start([&result](const boost::system::error_code& error, auto&&...) { result = error; });
    context_.restart();
    context_.run_for(limit);
    if (result == asio::error::would_block) {
        // Out of time: closing aborts the operation, whose completion must still run here.
        close();
        context_.restart();
        context_.run();
    }
    return !result;
}
