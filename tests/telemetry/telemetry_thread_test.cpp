// The broadcast needs a route for 255.255.255.255, which loopback lacks: each test runs inside a
// network namespace of its own with a dummy interface, entered by one thread only.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include "event_sink.hpp"
#include "eventually.hpp"
#include "telemetry/telemetry_thread.hpp"
#include "worker_base/thread_events.hpp"

namespace asio = boost::asio;
using asio::ip::udp;
using namespace std::chrono_literals;

namespace {
// Two network namespaces joined by a veth pair: the agent's side 10.77.0.1 with a route for
// the limited broadcast, and a peer's side 10.77.0.2.
class broadcast_link {
public:
    broadcast_link() : agent_("routewarden-agent-" + std::to_string(getpid())), peer_("routewarden-peer-" + std::to_string(getpid()))
    {
        ok_ = run("ip netns add " + agent_) && run("ip netns add " + peer_) &&
              run("ip -n " + agent_ + " link add veth0 type veth peer name veth1 netns " + peer_) &&
              run("ip -n " + agent_ + " addr add 10.77.0.1/24 dev veth0") &&
              run("ip -n " + peer_ + " addr add 10.77.0.2/24 dev veth1") &&
              run("ip -n " + agent_ + " link set veth0 up") && run("ip -n " + peer_ + " link set veth1 up") &&
              run("ip -n " + agent_ + " route add 255.255.255.255/32 dev veth0");
    }
    ~broadcast_link()
    {
        run("ip netns delete " + agent_);
        run("ip netns delete " + peer_);
    }

    bool ok() const { return ok_; }

    // Without the route the broadcast fails as when the network is not up or its interface went.
    bool set_broadcast_route(bool present) const
    {
        return run("ip -n " + agent_ + " route " + (present ? "add" : "del") + " 255.255.255.255/32 dev veth0");
    }

    // Runs body with the calling thread in the agent's namespace; threads it starts stay there.
    void on_agent_side(const std::function<void()>& body) const
    {
        const int home = open("/proc/thread-self/ns/net", O_RDONLY);
        enter(agent_);
        body();
        if (home < 0 || setns(home, CLONE_NEWNET) != 0)
            std::abort();
        close(home);
    }

    // A thread in the peer's namespace.
    std::thread peer_thread(std::function<void()> body) const
    {
        return std::thread([name = peer_, body = std::move(body)] {
            enter(name);
            body();
        });
    }

private:
    static bool run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

    static void enter(const std::string& name)
    {
        const int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY);
        if (fd < 0 || setns(fd, CLONE_NEWNET) != 0)
            std::abort();
        close(fd);
    }

    std::string agent_;
    std::string peer_;
    bool ok_ = false;
};

class telemetry_thread_test : public testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to create the network namespaces for the broadcast";
        ASSERT_TRUE(link_.ok()) << "cannot set up the network namespaces";
    }

    std::map<std::string, std::string> replies()
    {
        return worker_->telemetry_replies();
    }

    // A peer on 10.77.0.2:50123, listening when this returns.
    std::thread start_peer(std::function<void(udp::socket&)> body)
    {
        const auto listening = std::make_shared<std::promise<void>>();
        std::future<void> listening_done = listening->get_future();
        std::thread peer = link_.peer_thread([listening, body = std::move(body)] {
            asio::io_context io;
            udp::socket socket(io, udp::endpoint(udp::v4(), 50123));
            listening->set_value();
            body(socket);
        });
        listening_done.wait();
        return peer;
    }

    void start_worker(std::chrono::nanoseconds interval, std::uint32_t port)
    {
        link_.on_agent_side([&] {
            worker_ = std::make_unique<telemetry_thread>(&sink_, interval);
            worker_->set_port(port);
            ASSERT_EQ(worker_->Run(), wxTHREAD_NO_ERROR);
        });
    }

    broadcast_link link_;
    event_sink sink_;
    std::unique_ptr<telemetry_thread> worker_;
};
}

TEST(telemetry_request, is_the_xml_writers_status_document)
{
    EXPECT_EQ(telemetry_thread::status_request(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<subsystem command=\"status\"/>\n");
}

TEST_F(telemetry_thread_test, keeps_the_first_reply_per_sender_found_by_the_next_cycle)
{
    // Also sets up the library's UTF-8 converter on this thread before the worker needs it.
    const std::string request = telemetry_thread::status_request();
    std::promise<std::string> first_request, second_request;
    // The peer answers the first request with an empty datagram, then twice from the same address,
    // and the second request not at all.
    std::thread peer = start_peer([&](udp::socket& socket) {
        char bytes[2048];
        udp::endpoint from;
        const std::size_t n = socket.receive_from(asio::buffer(bytes), from);
        first_request.set_value(std::string(bytes, n));
        socket.send_to(asio::buffer(std::string()), from);
        socket.send_to(asio::buffer(std::string("first")), from);
        socket.send_to(asio::buffer(std::string("second")), from);
        second_request.set_value(std::string(bytes, socket.receive_from(asio::buffer(bytes), from)));
    });
    start_worker(300ms, 50123 + 65536 * 3); // only the low 16 bits count

    EXPECT_EQ(first_request.get_future().get(), request);
    // The replies to one request are collected by the cycle after it; the empty one is ignored
    // and the second dropped.
    ASSERT_TRUE(eventually([&] { return !replies().empty(); }, 5s));
    EXPECT_EQ(replies(), (std::map<std::string, std::string>{{"10.77.0.2", "first"}}));
    EXPECT_EQ(second_request.get_future().get(), request);
    // Without answers a later cycle empties the table.
    ASSERT_TRUE(eventually([&] { return replies().empty(); }, 5s));

    const auto started = std::chrono::steady_clock::now();
    worker_->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    peer.join();
    EXPECT_TRUE(sink_.events().empty()) << "telemetry reports nothing to the window";
}

TEST_F(telemetry_thread_test, a_failed_send_is_one_row_while_it_lasts_and_the_next_cycle_tries_again)
{
    const auto failure_rows = [](std::size_t n) {
        return [n](const std::vector<reported_event>& events) {
            const std::size_t rows = count_in(events, EVT_LOG_ERROR, "Telemetry error: send_to: ");
            return rows >= n && rows == events.size();
        };
    };
    telemetry_thread::status_request(); // the library's UTF-8 converter, before the worker needs it
    ASSERT_TRUE(link_.set_broadcast_route(false));
    std::promise<void> requested;
    std::thread peer = start_peer([&](udp::socket& socket) {
        char bytes[2048];
        udp::endpoint from;
        socket.receive_from(asio::buffer(bytes), from);
        requested.set_value();
    });
    start_worker(100ms, 50123);

    ASSERT_TRUE(sink_.wait_for(failure_rows(1))) << "no row for the failed send";
    EXPECT_FALSE(sink_.wait_for(failure_rows(2), 1s)) << "a row every cycle while the failure lasts";
    ASSERT_TRUE(link_.set_broadcast_route(true));
    EXPECT_EQ(requested.get_future().wait_for(5s), std::future_status::ready) << "the worker gave up sending";
    // After a success the same failure is worth a row again.
    ASSERT_TRUE(link_.set_broadcast_route(false));
    EXPECT_TRUE(sink_.wait_for(failure_rows(2))) << "no row for the failure after a success";
    worker_->stop();
    peer.join();
}
