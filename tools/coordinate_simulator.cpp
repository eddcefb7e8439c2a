#include "tools/coordinate_simulator.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {
template <class T> void put(answer_buffer& buffer, std::size_t offset, T value)
{
    std::memcpy(buffer.data() + offset, &value, sizeof value); // little-endian host, as the wire
}

void put_text(answer_buffer& buffer, std::size_t offset, const std::string& text)
{
    std::memcpy(buffer.data() + offset, text.data(), text.size());
}

constexpr double pi = 3.141592653589793;
constexpr std::size_t whole_answer = answer_layout::end_of_fields + 19;
// As a busy server or a serial-to-TCP bridge sends it.
constexpr std::size_t split_part = 300;
constexpr std::size_t trickle_part = 100;
constexpr std::chrono::milliseconds part_pause{200};
// Every byte non-zero, so that an answer read from anywhere in them has its data flag set.
constexpr std::size_t trailing_size = 600;
constexpr unsigned char trailing_byte = 'T';

answer_buffer no_data_answer()
{
    answer_buffer buffer{};
    put_text(buffer, 0, "CXANSWER");
    return buffer;
}
}

bool parse_simulator_mode(const std::string& word, simulator_mode& mode)
{
    static const std::pair<const char*, simulator_mode> names[] = {
        {"data", simulator_mode::data},   {"numbered", simulator_mode::numbered},
        {"nodata", simulator_mode::no_data},
        {"close", simulator_mode::close}, {"hang", simulator_mode::hang},
        {"short", simulator_mode::short_answer}, {"odd", simulator_mode::odd_answer},
        {"split", simulator_mode::split_answer}, {"trickle", simulator_mode::trickle},
        {"trailing", simulator_mode::trailing},
    };
    for (const auto& [name, value] : names)
        if (word == name) {
            mode = value;
            return true;
        }
    return false;
}

answer_buffer journey_answer(std::size_t n)
{
    // 137.5 m every poll along a straight line heading north-east.
    const double travelled = 12000.0 + 137.5 * static_cast<double>(n);
    const auto km = static_cast<std::int32_t>(travelled / 1000.0);
    const auto metres = static_cast<float>(travelled - km * 1000.0);
    const bool at_station = n % 5 == 4;

    answer_buffer buffer = no_data_answer();
    buffer[answer_layout::data_flag] = 1;
    put(buffer, answer_layout::km, km);
    put(buffer, answer_layout::metres, metres);
    put_text(buffer, answer_layout::direction_text, "Northbound");
    put_text(buffer, answer_layout::railway_text, "Riverside line");
    put(buffer, answer_layout::speed, 54.5f);
    put(buffer, answer_layout::latitude_rad, (55.75 + travelled * 0.000006) * pi / 180.0);
    put(buffer, answer_layout::longitude_rad, (37.62 + travelled * 0.000009) * pi / 180.0);
    put_text(buffer, answer_layout::road_text, "Road 7");
    put_text(buffer, answer_layout::place_text, at_station ? "Millbrook platform 2" : "Signal 14");
    put(buffer, answer_layout::pk, static_cast<std::int32_t>(travelled / 100.0) % 10 + 1);
    put(buffer, answer_layout::place_kind, std::int32_t{at_station ? 1 : 0});
    return buffer;
}

class coordinate_simulator::session : public std::enable_shared_from_this<session> {
public:
    session(coordinate_simulator& owner, tcp::socket socket)
        : owner_(owner), connection_(owner.server_.track_connection()), socket_(std::move(socket)),
          pause_(socket_.get_executor())
    {
    }

    void read_request()
    {
        asio::async_read(socket_, asio::buffer(request_),
                         [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                             if (!error)
                                 self->on_request();
                         });
    }

private:
    void on_request()
    {
        if (std::memcmp(request_.data(), "CXQUEST2", 8) != 0)
            return; // not our protocol: drop the connection
        simulator_mode mode;
        if (!owner_.answer(answer_, part_, mode)) {
            if (mode == simulator_mode::hang)
                owner_.server_.keep(shared_from_this());
            return;
        }
        send_from(0);
    }

    void send_from(std::size_t offset)
    {
        const std::size_t end = std::min(offset + part_, answer_.size());
        asio::async_write(socket_, asio::buffer(answer_.data() + offset, end - offset),
                          [self = shared_from_this(), end](boost::system::error_code error, std::size_t) {
                              if (error)
                                  return;
                              if (end == self->answer_.size()) {
                                  self->read_request();
                                  return;
                              }
                              self->pause_.expires_after(part_pause);
                              self->pause_.async_wait([self, end](boost::system::error_code error) {
                                  if (!error)
                                      self->send_from(end);
                              });
                          });
    }

    coordinate_simulator& owner_;
    std::shared_ptr<void> connection_;
    tcp::socket socket_;
    asio::steady_timer pause_;
    coordinate_request request_{};
    std::vector<unsigned char> answer_;
    std::size_t part_ = 0;
};

coordinate_simulator::coordinate_simulator(unsigned short port, simulator_mode mode)
    : mode_(mode),
      server_(port, [this](tcp::socket socket) { std::make_shared<session>(*this, std::move(socket))->read_request(); })
{
}

bool coordinate_simulator::answer(std::vector<unsigned char>& bytes, std::size_t& part, simulator_mode& mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    changed_.notify_all();
    if (scripted_.empty())
        mode = mode_;
    else {
        mode = scripted_.front();
        scripted_.pop_front();
    }
    answer_buffer buffer{};
    switch (mode) {
    case simulator_mode::close:
    case simulator_mode::hang:
        return false;
    case simulator_mode::no_data:
        buffer = no_data_answer();
        bytes.assign(buffer.begin(), buffer.end());
        part = bytes.size();
        return true;
    case simulator_mode::short_answer:
    case simulator_mode::trickle:
        // Never received whole, so not among the positions sent.
        buffer = journey_answer(journey_step_++);
        bytes.assign(buffer.begin(), buffer.begin() + (mode == simulator_mode::short_answer ? 20 : whole_answer));
        part = mode == simulator_mode::trickle ? trickle_part : bytes.size();
        return true;
    case simulator_mode::data:
    case simulator_mode::split_answer:
    case simulator_mode::trailing:
        buffer = journey_answer(journey_step_++);
        break;
    case simulator_mode::numbered:
        buffer = journey_answer(0);
        put(buffer, answer_layout::km, static_cast<std::int32_t>(positions_sent_.size() + 1));
        break;
    case simulator_mode::odd_answer:
        buffer = journey_answer(journey_step_++);
        std::memset(buffer.data() + answer_layout::direction_text, 'N',
                    answer_layout::railway_text - answer_layout::direction_text);
        buffer[answer_layout::data_flag] = 0xFF;
        put(buffer, answer_layout::speed, -61.25f);
        put(buffer, answer_layout::place_kind, std::int32_t{7});
        break;
    }
    bytes.assign(buffer.begin(), buffer.begin() + whole_answer);
    answer_buffer sent{}; // as the client's zero-filled buffer will hold it
    std::copy(bytes.begin(), bytes.end(), sent.begin());
    positions_sent_.push_back(sent);
    // In the answer's own write: sent later, they would race the next request, and bytes that
    // arrive after a request are the answer as far as any client can tell.
    if (mode == simulator_mode::trailing)
        bytes.insert(bytes.end(), trailing_size, trailing_byte);
    part = mode == simulator_mode::split_answer ? split_part : bytes.size();
    return true;
}

void coordinate_simulator::set_mode(simulator_mode mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
}

void coordinate_simulator::script(std::deque<simulator_mode> modes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    scripted_ = std::move(modes);
}

std::size_t coordinate_simulator::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<answer_buffer> coordinate_simulator::positions_sent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return positions_sent_;
}

std::size_t coordinate_simulator::positions_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return positions_sent_.size();
}

bool coordinate_simulator::wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_ >= n; });
}
