#pragma once
// A stand-in coordinate server on 127.0.0.1: answers each 64-byte request with the fixed answer
// layout for a vehicle moving along a made-up line, or misbehaves on demand.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "formats/answer_layout.hpp"
#include "tools/loopback_server.hpp"

enum class simulator_mode {
    data,         // a position in every answer
    numbered,     // a position whose kilometre is its number among the positions sent, from 1
    no_data,      // a full answer whose data flag is zero
    close,        // close the connection instead of answering
    hang,         // read the request and never answer
    short_answer, // only the first 20 bytes of a position
    odd_answer,   // texts without terminator, negative speed, unknown place kind
    split_answer, // a position in two parts, the second after a pause
    trickle,      // a position in parts of 100 bytes, 200 ms apart
    trailing,     // a position followed by bytes that belong to no answer
};

// "data", "numbered", "nodata", "close", "hang", "short", "odd", "split", "trickle", "trailing";
// false for anything else.
bool parse_simulator_mode(const std::string& word, simulator_mode& mode);

// The answer for the n-th position (n from 0) of the made-up journey.
answer_buffer journey_answer(std::size_t n);

class coordinate_simulator {
public:
    explicit coordinate_simulator(unsigned short port = 0, simulator_mode mode = simulator_mode::data);
    coordinate_simulator(const coordinate_simulator&) = delete;
    coordinate_simulator& operator=(const coordinate_simulator&) = delete;

    unsigned short port() const { return server_.port(); }
    // The standing mode for every request...
    void set_mode(simulator_mode mode);
    // ...after these one-shot modes have been used up, in order.
    void script(std::deque<simulator_mode> modes);

    std::size_t requests() const;
    // The answers that carried a whole position, in the order they were sent.
    std::vector<answer_buffer> positions_sent() const;
    std::size_t positions_count() const; // how many, without the copies
    // Waits until at least n requests have arrived; false when the time runs out.
    bool wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const;
    // Waits until every connection has been served to its end and closed: what a client that
    // has gone sent before it went has then been answered.
    bool wait_for_no_connections(std::chrono::milliseconds timeout)
    {
        return server_.wait_for_no_connections(timeout);
    }

private:
    class session;
    // The bytes to send for one request, or nothing to close or hang (per the mode); and how
    // many of them go out at a time, with a pause between the parts.
    bool answer(std::vector<unsigned char>& bytes, std::size_t& part, simulator_mode& mode);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    simulator_mode mode_;
    std::deque<simulator_mode> scripted_;
    std::size_t requests_ = 0;
    std::size_t journey_step_ = 0;
    std::vector<answer_buffer> positions_sent_;

    loopback_server server_; // last: its I/O thread ends first
};
