// The poller against a real coordinate server on loopback, with a short period.
#ifdef __linux__
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include "worker_base/thread_events.hpp"

#include "coordinates/timer_thread.hpp"
#include "delivery/process_messages_thread.hpp"
#include "eventually.hpp"
#include "file_contents.hpp"
#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"
#include "tools/coordinate_simulator.hpp"
#include "tools/tracking_stub.hpp"
#include "worker_fixture.hpp"

using namespace std::chrono_literals;

namespace {
constexpr poll_timing fast{200ms, 180s, 500ms};
// Added to the wall clock the records carry.
std::atomic<std::time_t> clock_shift{0};

// The message without its clock line, which depends on when the answer was decoded.
std::string without_clock(const std::string& message)
{
    std::istringstream lines(message);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.find("\"data_position\"") == std::string::npos)
            kept += line + "\n";
    return kept;
}

std::string expected_message(const answer_buffer& answer)
{
    return without_clock(make_tracking_message(*decode_answer(answer, "bus-7", 0)));
}

class poller_test : public worker_fixture<timer_thread> {
protected:
    void start(unsigned short port, poll_timing timing = fast, const wxString& device = "bus-7")
    {
        run_with(settings(port, device), timing);
    }

    static poller_settings settings(unsigned short port, const wxString& device) { return {"127.0.0.1", port, device}; }

    void configure(unsigned short port) { reload(settings(port, "bus-7")); }

    // Takes the poller's notifications as the sender would, until one reports at least `count` messages.
    bool wait_for_stored(unsigned int count, std::chrono::milliseconds timeout = 10s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        unsigned int value = 0;
        while (std::chrono::steady_clock::now() < end)
            if (store_->next_notification(value, 100) && value >= count)
                return true;
        return false;
    }
};
}

TEST_F(poller_test, hands_off_every_answer_but_the_newest)
{
    temp_home home;
    fresh_store(); // its outbox in the new home
    ASSERT_EQ(store_->open_outbox().failure, "");
    coordinate_simulator server(0, simulator_mode::no_data);
    server.script({simulator_mode::data, simulator_mode::data, simulator_mode::data});
    start(server.port());

    ASSERT_TRUE(wait_for_stored(2));
    ASSERT_TRUE(server.wait_for_requests(4, 5s)); // C and a cycle after it without data
    const auto answers = server.positions_sent();
    ASSERT_EQ(answers.size(), 3u);
    const auto messages = stored_messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(without_clock(messages[0]), expected_message(answers[0]));
    EXPECT_EQ(without_clock(messages[1]), expected_message(answers[1]));

    // The first cycle only connects; the status then shows each position as received.
    const auto events = sink_.events();
    std::vector<wxString> statuses;
    for (const auto& e : events)
        if (e.type == EVT_STATUS_TEXT) {
            EXPECT_EQ(e.field, coordinates_status);
            statuses.push_back(e.text);
        }
    ASSERT_GE(statuses.size(), 4u);
    EXPECT_EQ(statuses[0], "Coordinate server: no data.");
    EXPECT_EQ(statuses[1], "Coordinate server: Northbound-Riverside line 12 km 0 m Lat=55.822 Lon=37.728.");
    EXPECT_EQ(statuses[2], "Coordinate server: Northbound-Riverside line 12 km 137.5 m Lat=55.8228 Lon=37.7292.");
    EXPECT_EQ(sink_.count(EVT_LOG_ERROR), 0u);
    stop();
    EXPECT_EQ(outbox_rows(*store_), stored_messages());
}

TEST_F(poller_test, repeats_the_last_position_while_the_server_has_none)
{
    coordinate_simulator server(0, simulator_mode::no_data);
    server.script({simulator_mode::data});
    start(server.port(), poll_timing{200ms, 2s, 500ms});

    // The repeat hands off the answer; the next repeat, one interval later, hands off the first.
    ASSERT_TRUE(wait_for_stored(1, 10s));
    ASSERT_TRUE(wait_for_stored(2, 10s));
    const auto messages = stored_messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(without_clock(messages[0]), expected_message(server.positions_sent().at(0)));
    EXPECT_NE(messages[1].find("\"status_service\": \"\""), std::string::npos);
    EXPECT_NE(messages[1].find("\"speed_gps\": \"0\""), std::string::npos);
}

TEST_F(poller_test, without_a_device_never_connects)
{
    coordinate_simulator server;
    start(server.port(), fast, "");
    ASSERT_TRUE(sink_.wait_for_text(EVT_STATUS_TEXT, "Bad device ID"));
    ASSERT_TRUE(sink_.wait_for([](const std::vector<reported_event>& events) { return events.size() >= 4; }));
    EXPECT_EQ(server.requests(), 0u);
    unsigned int value = 0;
    EXPECT_FALSE(store_->next_notification(value, 0));
}

TEST_F(poller_test, reconnects_after_the_server_went_away)
{
    std::unique_ptr<coordinate_simulator> server = std::make_unique<coordinate_simulator>();
    const unsigned short port = server->port();
    start(port);
    ASSERT_TRUE(server->wait_for_requests(1, 5s));
    server.reset();
    // Bound without listening: connections are refused, and a test running beside this one
    // cannot be given the freed port for its own server meanwhile.
    boost::asio::io_context io;
    auto holder = std::make_unique<boost::asio::ip::tcp::socket>(io, boost::asio::ip::tcp::v4());
    holder->set_option(boost::asio::socket_base::reuse_address(true)); // the last connection may linger
    holder->bind({boost::asio::ip::address_v4::loopback(), port});
    ASSERT_TRUE(sink_.wait_for_text(EVT_LOG_ERROR, "CoordServer receive error"));
    sink_.clear();
    // Down: silent, every cycle shows no data and still notifies.
    ASSERT_TRUE(sink_.wait_for([](const std::vector<reported_event>& events) {
        return count_in(events, EVT_STATUS_TEXT, "Coordinate server: no data.") >= 3;
    }));
    EXPECT_EQ(sink_.count(EVT_LOG_ERROR), 0u);
    // For the tray icon: every cycle without an answer, and the hand-off's count of waiting messages.
    EXPECT_TRUE(sink_.wait_for_facts(worker_fact::kind::coordinates_missed, 3))
        << "fewer than three missed cycles reported";
    EXPECT_TRUE(sink_.wait_for_facts(worker_fact::kind::waiting, 3)) << "fewer than three hand-offs reported";
    EXPECT_EQ(sink_.facts(worker_fact::kind::coordinates_answered), 0u);

    holder.reset();
    server = std::make_unique<coordinate_simulator>(port);
    ASSERT_TRUE(server->wait_for_requests(1, 5s));
    EXPECT_TRUE(sink_.wait_for_text(EVT_STATUS_TEXT, "Coordinate server: Northbound"));
    EXPECT_TRUE(sink_.wait_for_facts(worker_fact::kind::coordinates_answered, 1)) << "no answered cycle reported";
}

TEST_F(poller_test, a_closing_or_silent_server_fails_the_exchange_and_is_reconnected)
{
    coordinate_simulator server(0, simulator_mode::close);
    start(server.port());
    ASSERT_TRUE(sink_.wait_for_text(EVT_LOG_ERROR, "CoordServer receive error"));

    server.set_mode(simulator_mode::hang);
    ASSERT_TRUE(sink_.wait_for_text(EVT_LOG_ERROR, "CoordServer wait error"));
    const std::size_t before = server.requests();
    server.set_mode(simulator_mode::data);
    ASSERT_TRUE(server.wait_for_requests(before + 1, 5s));
    EXPECT_TRUE(sink_.wait_for_text(EVT_STATUS_TEXT, "Coordinate server: Northbound"));
}

TEST_F(poller_test, only_whole_answers_become_positions)
{
    // A cut answer is an error, and the next connection starts with the next whole answer.
    const struct {
        const char* name;
        simulator_mode first;
        std::size_t errors;
    } cases[] = {
        {"answer in two parts", simulator_mode::split_answer, 0},
        {"trailing bytes after the answer", simulator_mode::trailing, 0},
        {"answer cut short", simulator_mode::short_answer, 1},
        // Each part within the wait limit, all of them not: the limit holds for the whole answer.
        {"answer trickling in", simulator_mode::trickle, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_store();
        sink_.clear();
        coordinate_simulator server(0, simulator_mode::no_data);
        server.script({c.first, simulator_mode::data, simulator_mode::data});
        start(server.port());
        // The fourth request comes once the three answers before it have been taken and handed off.
        ASSERT_TRUE(server.wait_for_requests(4, 10s)) << "the poller stopped asking";
        const auto events = sink_.events(); // stopping may end an exchange with an error row
        stop();

        // Every whole position but the newest, which stays pending.
        const auto answers = server.positions_sent();
        std::vector<std::string> expected;
        for (std::size_t i = 0; i + 1 < answers.size(); ++i)
            expected.push_back(expected_message(answers[i]));
        std::vector<std::string> stored;
        for (const auto& message : stored_messages())
            stored.push_back(without_clock(message));
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(count_in(events, EVT_LOG_ERROR, "CoordServer receive error"), c.errors);
        EXPECT_EQ(count_in(events, EVT_LOG_ERROR), c.errors);
    }
}

TEST_F(poller_test, repeats_on_schedule_after_the_clock_was_set_back)
{
    poll_timing timing{200ms, 2s, 500ms};
    timing.wall_clock = [] { return std::time(nullptr) + clock_shift.load(); };
    coordinate_simulator server(0, simulator_mode::no_data);
    server.script({simulator_mode::data});
    start(server.port(), timing);
    ASSERT_TRUE(sink_.wait_for_text(EVT_STATUS_TEXT, "Coordinate server: Northbound"));
    clock_shift = -3600; // time synchronisation corrects a clock that ran an hour ahead

    // The repeat, one interval later, hands off the position.
    ASSERT_TRUE(wait_for_stored(1, 10s)) << "no repeat after the clock was set back";
    EXPECT_EQ(without_clock(stored_messages().at(0)), expected_message(server.positions_sent().at(0)));
}

TEST_F(poller_test, new_settings_take_effect_on_the_next_cycle)
{
    coordinate_simulator first;
    coordinate_simulator second;
    start(first.port());
    ASSERT_TRUE(first.wait_for_requests(1, 5s));
    configure(second.port());
    ASSERT_TRUE(second.wait_for_requests(1, 5s));
    const std::size_t first_requests = first.requests();
    ASSERT_TRUE(second.wait_for_requests(3, 5s));
    EXPECT_EQ(first.requests(), first_requests);
}

TEST_F(poller_test, stops_at_once_while_idle_and_while_the_server_hangs)
{
    coordinate_simulator server(0, simulator_mode::hang);
    start(server.port(), poll_timing{10s, 180s, 3s});
    auto started = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

    start(server.port(), poll_timing{100ms, 180s, 3s});
    ASSERT_TRUE(server.wait_for_requests(1, 5s)); // now blocked in a wait of up to 3 s
    started = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

#ifdef __linux__
// A network of the calling thread's own, loopback only, whose resolver asks 127.0.0.1, where a
// socket takes every query and answers none: a name lookup waits for the resolver's own timeout.
// Threads the calling thread starts meanwhile are in it too.
class silent_dns {
public:
    silent_dns()
    {
        write_file(home_.path_of("resolv.conf"), "nameserver 127.0.0.1\n");
        home_net_ = open("/proc/thread-self/ns/net", O_RDONLY);
        home_mounts_ = open("/proc/thread-self/ns/mnt", O_RDONLY);
        boost::system::error_code error;
        ok_ = home_net_ >= 0 && home_mounts_ >= 0 && unshare(CLONE_FS | CLONE_NEWNS | CLONE_NEWNET) == 0 &&
              mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
              mount(home_.path_of("resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0 &&
              std::system("ip link set lo up") == 0 && !server_.open(boost::asio::ip::udp::v4(), error) &&
              !server_.bind({boost::asio::ip::address_v4::loopback(), 53}, error);
    }
    ~silent_dns()
    {
        server_.close();
        // A lookup thread that outlives the poller shares this thread's file system context, which
        // a change of mount namespace needs for itself.
        if ((home_net_ >= 0 && setns(home_net_, CLONE_NEWNET) != 0) ||
            (home_mounts_ >= 0 && (unshare(CLONE_FS) != 0 || setns(home_mounts_, CLONE_NEWNS) != 0)))
            std::abort();
        close(home_net_);
        close(home_mounts_);
    }

    bool ok() const { return ok_; }
    bool asked() const { return server_.available() > 0; }

private:
    temp_home home_;
    int home_net_ = -1;
    int home_mounts_ = -1;
    boost::asio::io_context io_;
    boost::asio::ip::udp::socket server_{io_};
    bool ok_ = false;
};

TEST_F(poller_test, a_name_lookup_ends_within_the_wait_limit_and_at_stop)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a network namespace with a DNS server of its own";
    silent_dns dns;
    ASSERT_TRUE(dns.ok()) << "cannot set up a network namespace whose DNS server is silent";
    run_with(poller_settings{"coordinates.example", 12500, "bus-7"}, fast);

    ASSERT_TRUE(eventually([&] { return dns.asked(); }, 10s)) << "the lookup never asked the DNS server";
    // A cycle each period plus the limit, not each resolver's timeout (10 s here); stopped while
    // the resolver still waits.
    EXPECT_TRUE(sink_.wait_for_facts(worker_fact::kind::coordinates_missed, 3, 5s))
        << "cycles waited for the name lookup";
    const auto started = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "stop waited for the name lookup";
}

// Debuggers and sanitizer reports show each worker by the name its base gives the thread.
TEST_F(poller_test, runs_on_a_thread_named_for_it)
{
    const auto named_poller = [] {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            if (name == "poller")
                return true;
        }
        return false;
    };
    ASSERT_FALSE(named_poller());
    start(9); // nothing listens there: the name does not depend on a connection
    EXPECT_TRUE(eventually(named_poller, 10s)) << "no thread of the process is named \"poller\"";
}
#endif

TEST_F(poller_test, goes_on_polling_while_the_sender_works_through_a_slow_backlog)
{
    tracking_stub stub;
    stub_reply slow;
    ASSERT_TRUE(parse_stub_reply("slow 1000", slow));
    stub.set_reply(slow);
    store_->hand_off(std::vector<std::string>(10, "waiting\n"));
    process_messages_thread sender(&sink_, *store_);
    sender.configure({wxString(stub.url()), wxString(), "bus-7"});
    ASSERT_EQ(sender.Run(), wxTHREAD_NO_ERROR);
    coordinate_simulator server;
    start(server.port());

    ASSERT_TRUE(stub.wait_for_requests(2, 10s));
    const std::size_t asked = server.requests();
    ASSERT_TRUE(stub.wait_for_requests(4, 10s));
    // About ten cycles in two seconds: none of them waits for a transfer.
    EXPECT_GE(server.requests(), asked + 3) << "the poller waited for the deliveries";
    sender.stop();
}
