#pragma once
// Broadcasts an XML status request over UDP every five seconds and keeps the replies that
// arrived since the previous request, by sender address. Reports only its failures.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <boost/asio/ip/udp.hpp>
#include <wx/event.h>

#include "worker_base/periodic_worker.hpp"

class telemetry_thread : public periodic_worker {
public:
    static constexpr std::chrono::nanoseconds default_interval = std::chrono::seconds(5);

    // The first request goes out one interval after construction.
    telemetry_thread(wxEvtHandler* owner, std::chrono::nanoseconds interval = default_interval);

    // Before the start only.
    void set_port(std::uint16_t port) { port_ = port; }
    // A copy of the replies of the last cycle (sender address text to the reply bytes).
    std::map<std::string, std::string> telemetry_replies() const;

    // The request text: an XML declaration and <subsystem command="status"/>.
    static std::string status_request();

private:
    void run() override;
    void tick() override;
    void open_socket();
    void collect_replies(std::map<std::string, std::string>& replies);
    // Runs a step that may fail with a system error; a failure closes the socket and is reported
    // once, until a step succeeds or the reason changes.
    template <class Step> void attempt(Step step);

    boost::asio::ip::udp::endpoint destination_;
    boost::asio::ip::udp::socket socket_;
    boost::asio::ip::udp::endpoint sender_;
    std::uint16_t port_ = 0;
    std::string reported_failure_; // the failure last reported, empty after a success

    mutable std::mutex replies_mutex_;
    std::map<std::string, std::string> telemetry_replies_;
};
