#include "telemetry/telemetry_thread.hpp"

#include <vector>

#include <boost/asio/post.hpp>
#include <wx/sstream.h>
#include <wx/xml/xml.h>

namespace asio = boost::asio;
using asio::ip::udp;

telemetry_thread::telemetry_thread(wxEvtHandler* owner, std::chrono::nanoseconds interval)
    : owner_(owner), timer_(io_, interval), socket_(io_),
      interval_(interval)
{
}

telemetry_thread::~telemetry_thread()
{
    io_.stop();
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void telemetry_thread::request_stop()
{
    stop_requested_ = true;
    // The cancel runs on the worker's own thread, inside its loop; the failed wait stops the loop.
    asio::post(io_, [this] { timer_.cancel(); });
}

std::map<std::string, std::string> telemetry_thread::telemetry_replies() const
{
    std::lock_guard<std::mutex> lock(replies_mutex_);
    return telemetry_replies_;
}

std::string telemetry_thread::status_request()
{
    wxXmlDocument document;
    auto* root = new wxXmlNode(wxXML_ELEMENT_NODE, "subsystem");
    root->AddAttribute("command", "status");
    document.SetRoot(root);
    wxString text;
    wxStringOutputStream stream(&text, wxConvUTF8);
    document.Save(stream, 2);
    return std::string(text.utf8_str());
}

wxThread::ExitCode telemetry_thread::Entry()
{
    destination_ = udp::endpoint(asio::ip::address_v4::broadcast(), static_cast<unsigned short>(port_ & 0xFFFF));
    socket_ = udp::socket(io_);
    socket_.open(udp::v4());
    socket_.set_option(asio::socket_base::reuse_address(true));
    socket_.set_option(asio::socket_base::broadcast(true));
    wait_for_tick();
    io_.run();
    return 0;
}

void telemetry_thread::telemetry_tick(const boost::system::error_code& error)
{
    if (error) {
        io_.stop();
        return;
    }
    if (stop_requested_ || TestDestroy())
        return;

    const std::string request = status_request();
    socket_.send_to(asio::buffer(request), destination_);

    std::map<std::string, std::string> replies;
    while (const std::size_t available = socket_.available()) {
        std::vector<char> bytes(available);
        const std::size_t received = socket_.receive_from(asio::buffer(bytes), sender_);
        replies.emplace(sender_.address().to_string(), std::string(bytes.data(), received));
    }
    {
        std::lock_guard<std::mutex> lock(replies_mutex_);
        telemetry_replies_.swap(replies);
    }
    timer_.expires_after(interval_);
    wait_for_tick();
}

void telemetry_thread::wait_for_tick()
{
    timer_.async_wait([this](const boost::system::error_code& error) { telemetry_tick(error); });
}
