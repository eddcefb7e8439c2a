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
