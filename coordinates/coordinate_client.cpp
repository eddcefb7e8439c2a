#include "coordinates/coordinate_client.hpp"

#include <stdexcept>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

coordinate_client::coordinate_client(std::chrono::milliseconds wait_limit)
    : wait_limit_(wait_limit), resolver_(context_), socket_(context_)
{
}

void coordinate_client::connect(const std::string& host, const std::string& port)
{
    boost::system::error_code error;
    const auto endpoints = resolver_.resolve(host, port, tcp::resolver::numeric_service, error);
    if (error || !await([&](auto done) { asio::async_connect(socket_, endpoints, done); }, wait_limit_))
        close();
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
    asio::post(context_, [this] { close(); });
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
    // Only what is there now: a server that keeps sending cannot hold the cycle here.
    boost::system::error_code error;
    std::size_t waiting = socket_.available(error);
    answer_buffer discarded;
    while (!error && waiting > 0)
        waiting -= socket_.receive(asio::buffer(discarded, waiting), 0, error);
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
