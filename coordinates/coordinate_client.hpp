#pragma once
// A blocking client for the coordinate server with deadlines: each socket operation runs
// asynchronously on the client's own context, on the calling thread, and is aborted at its
// limit. One thread uses it; only abort may come from another.
#include <chrono>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "formats/answer_layout.hpp"

class coordinate_client {
public:
    // Bounds the connection attempt, the wait to send and the wait for the whole answer.
    explicit coordinate_client(std::chrono::milliseconds wait_limit);

    bool is_open() const { return socket_.is_open(); }
    // Stays closed when the name is not found or the server not reached, each within the limit.
    void connect(const std::string& host, const std::string& port);
    // Sends the request and receives one whole answer into the buffer. Throws std::runtime_error
    // with the row's text when the server fails, closes or is silent; the caller then closes.
    void exchange(const coordinate_request& request, answer_buffer& buffer);
    void close();
    // Any thread: the user's thread closes the connection in its next wait, which fails at once,
    // as does every later one.
    void abort();

private:
    struct lookup;

    // Starts looking up the name, or goes on with the lookup of an earlier call for the same name.
    void look_up(const std::string& host, const std::string& port);
    // Throws std::system_error when no thread can be started.
    static void start_lookup_thread(const std::shared_ptr<lookup>& pending);
    // Waits within the limit for the lookup; false when it did not end in time or was aborted.
    bool await_lookup();
    // Receives what has arrived into the buffer from offset on; the byte count.
    std::size_t receive_into(answer_buffer& buffer, std::size_t offset);
    // Leftovers of an earlier answer must never be read as the next one.
    void discard_waiting_bytes();
    // Runs one asynchronous socket operation to its end on this thread, within the limit;
    // true when it succeeded.
    template <class Start> bool await(Start start, std::chrono::steady_clock::duration limit);

    std::chrono::milliseconds wait_limit_;
    boost::asio::io_context context_;
    boost::asio::ip::tcp::socket socket_;
    // Expires at the lookup's limit; its end, or an abort, cancels it.
    boost::asio::steady_timer lookup_wait_;
    std::shared_ptr<lookup> lookup_; // the unfinished lookup, if any
    bool aborted_ = false;           // set by the user's thread, on the abort's completion
};
