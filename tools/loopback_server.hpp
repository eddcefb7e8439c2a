#pragma once
// The skeleton both test peers share: an acceptor on 127.0.0.1, the I/O thread that runs it
// and every session, and the sessions kept open that never answer. A peer declares it as its
// last member, so that it goes first: the I/O thread ends before any member its sessions use.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

class loopback_server {
public:
    using accepted = std::function<void(boost::asio::ip::tcp::socket socket)>;

    // Listens on the port (0: any free one) and hands each connection to on_accept on the I/O
    // thread, which starts here.
    loopback_server(unsigned short port, accepted on_accept);
    // Ends the I/O thread, then drops the kept sessions and every pending operation.
    ~loopback_server();
    loopback_server(const loopback_server&) = delete;
    loopback_server& operator=(const loopback_server&) = delete;

    unsigned short port() const { return port_; }
    // I/O thread: keeps a session that never answers open until the end.
    void keep(std::shared_ptr<void> session) { kept_.push_back(std::move(session)); }
    // A session holds this for as long as it lives, so that a test can tell when a client that
    // is gone has been served to the end.
    std::shared_ptr<void> track_connection();
    // Any thread: waits until no session lives; false when the time runs out.
    bool wait_for_no_connections(std::chrono::milliseconds timeout);

private:
    void accept();

    // Before the I/O context: the sessions it destroys still count down.
    std::mutex connections_mutex_;
    std::condition_variable connections_changed_;
    std::size_t connections_ = 0;

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::vector<std::shared_ptr<void>> kept_;
    unsigned short port_;
    accepted on_accept_;
    std::thread thread_;
};
