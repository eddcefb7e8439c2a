#include "tools/loopback_server.hpp"

namespace asio = boost::asio;
using asio::ip::tcp;

loopback_server::loopback_server(unsigned short port, accepted on_accept)
    : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), port)),
      port_(acceptor_.local_endpoint().port()), on_accept_(std::move(on_accept))
{
    accept();
    thread_ = std::thread([this] { io_.run(); });
}

loopback_server::~loopback_server()
{
    io_.stop();
    thread_.join();
}

void loopback_server::accept()
{
    acceptor_.async_accept([this](boost::system::error_code error, tcp::socket socket) {
        if (error)
            return;
        on_accept_(std::move(socket));
        accept();
    });
}

std::shared_ptr<void> loopback_server::track_connection()
{
    std::lock_guard<std::mutex> lock(connections_mutex_);
    ++connections_;
    return std::shared_ptr<void>(this, [this](void*) {
        std::lock_guard<std::mutex> lock(connections_mutex_);
        --connections_;
        connections_changed_.notify_all();
    });
}

bool loopback_server::wait_for_no_connections(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(connections_mutex_);
    return connections_changed_.wait_for(lock, timeout, [this] { return connections_ == 0; });
}
