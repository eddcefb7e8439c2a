#include "tools/tracking_stub.hpp"

#include <iterator>
#include <sstream>

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <zlib.h>

namespace asio = boost::asio;
namespace http = boost::beast::http;
using asio::ip::tcp;

namespace {
// An otherwise valid acceptance padded well past any sensible answer size.
constexpr std::size_t oversized_answer_bytes = 1024 * 1024;

std::string gzip_compress(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY); // 16: gzip wrapper
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string json_text(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

http::response<http::string_body> make_response(const stub_reply& reply, std::size_t number, unsigned version,
                                                bool keep_alive)
{
    http::response<http::string_body> response{http::status::ok, version};
    response.set(http::field::content_type, "application/json");
    const std::string accepted = "{\"id\": \"" + std::to_string(number) +
                                 "\", \"entityType\": \"mob_device_service\", \"status\": \"created\"}";
    switch (reply.kind) {
    case stub_reply::accept:
    case stub_reply::hang:
    case stub_reply::slow:
    case stub_reply::mixed: // resolved before the response is made
        response.body() = accepted;
        break;
    case stub_reply::reject:
        response.body() = "{\"code\": " + json_text(reply.code) +
                          (reply.reason.empty() ? "" : ", \"reason\": " + json_text(reply.reason)) + "}";
        break;
    case stub_reply::http_error:
        response.result(static_cast<unsigned>(reply.status));
        response.set(http::field::content_type, "text/html");
        response.body() = "<html><body>error</body></html>";
        break;
    case stub_reply::redirect:
        response.result(http::status::found);
        response.set(http::field::location, "/moved");
        response.body() = accepted;
        break;
    case stub_reply::gzip:
        response.set(http::field::content_encoding, "gzip");
        response.body() = gzip_compress(accepted);
        break;
    case stub_reply::malformed:
        response.body() = "{\"id\": \"" + std::to_string(number) + "\", ";
        break;
    case stub_reply::nested:
        response.body() = std::string(reply.levels, '[');
        break;
    case stub_reply::oversized:
        response.body() = "{\"id\": \"" + std::to_string(number) + "\", \"padding\": \"" +
                          std::string(oversized_answer_bytes, ' ') + "\"}";
        break;
    }
    response.keep_alive(keep_alive);
    response.prepare_payload();
    return response;
}
}

bool parse_stub_reply(const std::string& command, stub_reply& reply)
{
    std::istringstream words(command);
    std::string word;
    words >> word;
    stub_reply parsed;
    if (word == "accept")
        parsed.kind = stub_reply::accept;
    else if (word == "reject") {
        parsed.kind = stub_reply::reject;
        if (!(words >> parsed.code))
            return false;
        std::getline(words >> std::ws, parsed.reason);
    } else if (word == "http") {
        parsed.kind = stub_reply::http_error;
        if (!(words >> parsed.status) || parsed.status < 100 || parsed.status > 999)
            return false;
    } else if (word == "redirect")
        parsed.kind = stub_reply::redirect;
    else if (word == "gzip")
        parsed.kind = stub_reply::gzip;
    else if (word == "malformed")
        parsed.kind = stub_reply::malformed;
    else if (word == "nested") {
        parsed.kind = stub_reply::nested;
        std::size_t levels = 0;
        if (words >> levels)
            parsed.levels = levels;
        else if (!words.eof())
            return false;
    }
    else if (word == "oversized")
        parsed.kind = stub_reply::oversized;
    else if (word == "hang")
        parsed.kind = stub_reply::hang;
    else if (word == "slow") {
        parsed.kind = stub_reply::slow;
        long milliseconds = 0;
        if (words >> milliseconds && milliseconds >= 0)
            parsed.delay = std::chrono::milliseconds(milliseconds);
        else if (!words.eof())
            return false;
    } else if (word == "mix") {
        parsed.kind = stub_reply::mixed;
        if (!(words >> parsed.seed))
            return false;
    } else
        return false;
    reply = parsed;
    return true;
}

class tracking_stub::session : public std::enable_shared_from_this<session> {
public:
    session(tracking_stub& owner, tcp::socket socket)
        : owner_(owner), connection_(owner.server_.track_connection()), socket_(std::move(socket)),
          delay_(socket_.get_executor())
    {
    }

    void read_request()
    {
        request_ = {};
        http::async_read(socket_, buffer_, request_,
                         [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                             if (!error)
                                 self->on_request();
                         });
    }

private:
    void on_request()
    {
        received_request received{std::string(request_.target()), {}, request_.body()};
        for (const auto& field : request_)
            received.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        std::size_t number = 0;
        const stub_reply reply = owner_.next_reply(received, number);
        if (reply.kind == stub_reply::hang) {
            owner_.server_.keep(shared_from_this());
            return;
        }
        response_ = make_response(reply, number, request_.version(), request_.keep_alive());
        if (reply.kind != stub_reply::slow) {
            write_response();
            return;
        }
        delay_.expires_after(reply.delay);
        delay_.async_wait([self = shared_from_this()](boost::system::error_code error) {
            if (!error)
                self->write_response();
        });
    }

    void write_response()
    {
        http::async_write(socket_, response_,
                          [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                              if (error || self->response_.need_eof()) {
                                  self->socket_.shutdown(tcp::socket::shutdown_send, error);
                                  return;
                              }
                              self->read_request();
                          });
    }

    tracking_stub& owner_;
    std::shared_ptr<void> connection_;
    tcp::socket socket_;
    asio::steady_timer delay_;
    boost::beast::flat_buffer buffer_;
    http::request<http::string_body> request_;
    http::response<http::string_body> response_;
};

tracking_stub::tracking_stub(unsigned short port, request_listener listener)
    : listener_(std::move(listener)),
      server_(port, [this](tcp::socket socket) { std::make_shared<session>(*this, std::move(socket))->read_request(); })
{
}

std::string tracking_stub::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port()) + path;
}

stub_reply tracking_stub::next_reply(received_request request, std::size_t& number)
{
    if (listener_)
        listener_(request);
    std::lock_guard<std::mutex> lock(mutex_);
    stub_reply reply = standing_;
    if (!scripted_.empty()) {
        reply = scripted_.front();
        scripted_.pop_front();
    }
    if (reply.kind == stub_reply::mixed) {
        // One half accepted at once, one quarter rejected, one quarter accepted late.
        static const stub_reply::kind_type drawn[] = {stub_reply::accept, stub_reply::accept, stub_reply::reject,
                                                     stub_reply::slow};
        reply.kind = drawn[std::uniform_int_distribution<std::size_t>(0, std::size(drawn) - 1)(mix_)];
        reply.code = "mixed";
    }
    request.answer = reply.kind;
    requests_.push_back(std::move(request));
    number = requests_.size();
    changed_.notify_all();
    return reply;
}

void tracking_stub::set_reply(const stub_reply& reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    standing_ = reply;
    if (reply.kind == stub_reply::mixed)
        mix_.seed(reply.seed);
}

void tracking_stub::script(std::deque<stub_reply> replies)
{
    std::lock_guard<std::mutex> lock(mutex_);
    scripted_ = std::move(replies);
}

std::vector<received_request> tracking_stub::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool tracking_stub::wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}
