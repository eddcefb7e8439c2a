#include "telemetry/telemetry_thread.hpp"

#include <vector>

#include <boost/system/system_error.hpp>
#include <wx/sstream.h>
#include <wx/xml/xml.h>

#include <wx/intl.h>

#include "log/foreign_text.hpp"
#include "log/log_rows.hpp"
#include "worker_base/thread_events.hpp"

namespace asio = boost::asio;
using asio::ip::udp;

telemetry_thread::telemetry_thread(wxEvtHandler* owner, std::chrono::nanoseconds interval)
    : periodic_worker("telemetry", owner, interval), socket_(loop())
{
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

void telemetry_thread::run()
{
    destination_ = udp::endpoint(asio::ip::address_v4::broadcast(), port_);
    attempt([this] { open_socket(); });
    periodic_worker::run();
}

void telemetry_thread::tick()
{
    std::map<std::string, std::string> replies;
    attempt([&] {
        if (!socket_.is_open())
            open_socket();
        socket_.send_to(asio::buffer(status_request()), destination_);
        collect_replies(replies);
    });
    {
        std::lock_guard<std::mutex> lock(replies_mutex_);
        telemetry_replies_.swap(replies);
    }
}

void telemetry_thread::open_socket()
{
    socket_ = udp::socket(loop());
    socket_.open(udp::v4());
    socket_.set_option(asio::socket_base::reuse_address(true));
    socket_.set_option(asio::socket_base::broadcast(true));
    // Replies are taken until none is left, without waiting.
    socket_.non_blocking(true);
}

void telemetry_thread::collect_replies(std::map<std::string, std::string>& replies)
{
    // Not by the available byte count: a zero-length datagram at the head of the queue reads as
    // nothing available and would hide every datagram behind it.
    std::vector<char> bytes(65536);
    for (;;) {
        boost::system::error_code error;
        const std::size_t received = socket_.receive_from(asio::buffer(bytes), sender_, 0, error);
        if (error == asio::error::would_block)
            return;
        if (error)
            throw boost::system::system_error(error, "receive_from");
        if (received > 0)
            replies.emplace(sender_.address().to_string(), std::string(bytes.data(), received));
    }
}

template <class Step> void telemetry_thread::attempt(Step step)
{
    try {
        step();
        reported_failure_.clear();
    } catch (const boost::system::system_error& e) {
        // Reopened by the next cycle. One row per failure, not one per cycle while it lasts.
        boost::system::error_code ignored;
        socket_.close(ignored);
        if (reported_failure_ != e.what()) {
            reported_failure_ = e.what();
            queue_log_error(owner_, wxString::Format(_("Telemetry error: %s"), foreign_text(e.what())));
        }
    }
}
