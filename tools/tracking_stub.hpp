#pragma once
// A stand-in tracking service on 127.0.0.1: records every request it receives and answers as
// told (accept, reject, HTTP error, redirect, gzip-compressed acceptance, malformed JSON,
// deeply nested JSON, an oversized acceptance, hang, a late acceptance, or a seeded mix).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tools/loopback_server.hpp"

struct stub_reply {
    enum kind_type { accept, reject, http_error, redirect, gzip, malformed, nested, oversized, hang, slow, mixed };
    kind_type kind = accept;
    int status = 200;   // http_error
    std::string code;   // reject
    std::string reason; // reject; no reason member when empty
    // nested: opening brackets only, as a broken gateway may answer; by default far deeper
    // than any thread's stack allows a reader to recurse
    std::size_t levels = 200000;
    std::chrono::milliseconds delay{300}; // slow: the acceptance comes this late
    // mixed: each request gets an acceptance, a rejection or a slow acceptance, drawn from a
    // generator seeded with this, so that a run can be repeated
    unsigned seed = 0;
};

// "accept", "reject CODE [REASON...]", "http STATUS", "redirect", "gzip", "malformed",
// "nested [LEVELS]", "oversized", "hang", "slow [MILLISECONDS]", "mix SEED".
bool parse_stub_reply(const std::string& command, stub_reply& reply);

struct received_request {
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers; // as they arrived, in order
    std::string body;
    stub_reply::kind_type answer = stub_reply::accept; // how the stub answered it (never mixed)
};

class tracking_stub {
public:
    using request_listener = std::function<void(const received_request&)>;

    // The listener runs on the stub's own thread for every request.
    explicit tracking_stub(unsigned short port = 0, request_listener listener = {});
    tracking_stub(const tracking_stub&) = delete;
    tracking_stub& operator=(const tracking_stub&) = delete;

    unsigned short port() const { return server_.port(); }
    // http://127.0.0.1:<port><path>
    std::string url(const std::string& path = "/api/registers/hoz_dm/model/mob_device_service/objects") const;

    // The standing reply for every request...
    void set_reply(const stub_reply& reply);
    // ...after these one-shot replies have been used up, in order.
    void script(std::deque<stub_reply> replies);

    std::vector<received_request> requests() const;
    bool wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const;
    // Waits until every connection has been served to its end and closed: what a client that
    // has gone sent before it went has then been answered.
    bool wait_for_no_connections(std::chrono::milliseconds timeout)
    {
        return server_.wait_for_no_connections(timeout);
    }

private:
    class session;
    stub_reply next_reply(received_request request, std::size_t& number);

    request_listener listener_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    stub_reply standing_;
    std::deque<stub_reply> scripted_;
    std::mt19937 mix_; // draws the answers of the standing mixed reply
    std::vector<received_request> requests_;

    loopback_server server_; // last: its I/O thread ends first
};
