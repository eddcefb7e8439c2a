// The sender against a real HTTP peer on loopback.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/utils.h>

#include "worker_base/thread_events.hpp"

#include "delivery/debug_dumps.hpp"
#include "delivery/process_messages_thread.hpp"
#include "eventually.hpp"
#include "file_contents.hpp"
#include "home_folders.hpp"
#include "numbered.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"
#include "tools/tracking_stub.hpp"
#include "worker_fixture.hpp"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {
stub_reply reply(const std::string& command)
{
    stub_reply parsed;
    EXPECT_TRUE(parse_stub_reply(command, parsed)) << command;
    return parsed;
}

class sender_test : public worker_fixture<process_messages_thread> {
protected:
    void start(const std::string& address, const std::string& device = "bus-7", bool debug = false,
               const std::string& proxy = "")
    {
        run_with(settings(address, device, debug, proxy));
    }

    static sender_settings settings(const std::string& address, const std::string& device, bool debug,
                                    const std::string& proxy)
    {
        return {wxString(address), wxString(proxy), wxString::FromUTF8(device), debug};
    }

    void configure(const std::string& address, const std::string& device, bool debug, const std::string& proxy)
    {
        reload(settings(address, device, debug, proxy));
    }

    // What the poller does.
    void produce(const std::vector<std::string>& messages) { store_->hand_off(messages); }

    bool wait_for_error(const wxString& text) { return sink_.wait_for_text(EVT_LOG_ERROR, text, 20s); }

    // The dump files in the folder, each as its name's first four characters and its content, sorted.
    static std::vector<std::string> dump_pair(const fs::path& dumps)
    {
        std::vector<std::string> contents;
        if (fs::exists(dumps))
            for (const auto& entry : fs::directory_iterator(dumps))
                contents.push_back(entry.path().filename().string().substr(0, 4) + file_bytes(entry.path()));
        std::sort(contents.begin(), contents.end());
        return contents;
    }

    // The tracking reports as "<kind> <number> '<text>'".
    std::vector<wxString> reports() const
    {
        static const char* const kinds[] = {"delivered", "delivery_failed", "waiting", "dropped"};
        std::vector<wxString> found;
        for (const auto& e : sink_.events())
            if (e.type == EVT_WORKER_FACT)
                found.push_back(wxString::Format("%s %ld '%s'", kinds[e.field], e.number, e.text));
        return found;
    }

    std::vector<wxString> texts(wxEventType type) const { return sink_.texts(type); }
};
}

TEST_F(sender_test, posts_oldest_first_and_keeps_the_rejected_one_and_what_follows_it)
{
    tracking_stub stub;
    stub.script({reply("accept"), reply("reject 42 position out of line")});
    start(stub.url());

    produce({"one\n", "two\n", "three\n"});
    ASSERT_TRUE(wait_for_error(" position out of line"));
    ASSERT_EQ(stub.requests().size(), 2u);
    EXPECT_EQ(stub.requests()[0].body, "one\n");
    EXPECT_EQ(stub.requests()[1].body, "two\n");
    EXPECT_EQ(stored_messages(), (std::vector<std::string>{"two\n", "three\n"}));
    EXPECT_EQ(texts(EVT_STATUS_TEXT),
              (std::vector<wxString>{"Messages in queue: 3 sent: 0", "Messages in queue: 2 sent: 1"}));
    for (const auto& e : sink_.events()) {
        if (e.type == EVT_STATUS_TEXT) {
            EXPECT_EQ(e.field, delivery_status);
        }
    }

    // The next notification starts again with the rejected message.
    produce({});
    ASSERT_TRUE(stub.wait_for_requests(4, 10s));
    EXPECT_EQ(stub.requests()[2].body, "two\n");
    EXPECT_EQ(stub.requests()[3].body, "three\n");
    ASSERT_TRUE(eventually([this] { return stored_messages().empty(); }, 5s));
    EXPECT_EQ(texts(EVT_LOG_ERROR).size(), 1u);
    // What the tray icon tells: each delivery with the messages still waiting, and the failure.
    ASSERT_TRUE(sink_.wait_for([](const std::vector<reported_event>& events) {
        return !events.empty() && events.back().type == EVT_WORKER_FACT && events.back().number == 0;
    }));
    EXPECT_EQ(reports(), (std::vector<wxString>{"delivered 2 ''", "delivery_failed 0 ' position out of line'",
                                                "delivered 1 ''", "delivered 0 ''"}));
}

TEST_F(sender_test, sends_the_three_headers_as_given_and_decodes_a_compressed_answer)
{
    tracking_stub stub;
    stub.set_reply(reply("gzip"));
    start(stub.url(), "bus 7/ü&x=1");
    const std::string message = "{\n    \"entityType\": \"mob_device_service\"\n}\n";
    // Queued before a change of device: it goes under the device it was made for.
    const std::string made_before = "{\"attributes\": {\"device\": \"bus-6\"}}\n";
    produce({message, made_before});
    ASSERT_TRUE(stub.wait_for_requests(2, 10s));
    ASSERT_TRUE(eventually([this] { return stored_messages().empty(); }, 5s))
        << "an accepted, compressed answer must not leave the message for another try";

    const received_request request = stub.requests()[0];
    EXPECT_EQ(request.target, "/api/registers/hoz_dm/model/mob_device_service/objects?device=bus%207%2F%C3%BC%26x%3D1");
    EXPECT_EQ(request.body, message);
    EXPECT_EQ(stub.requests()[1].target, "/api/registers/hoz_dm/model/mob_device_service/objects?device=bus-6");
    std::vector<std::pair<std::string, std::string>> own_headers;
    for (const auto& [name, value] : request.headers)
        if (name == "Accept-Encoding" || name == "Content-Type" || name == "X-API-Key")
            own_headers.emplace_back(name, value);
    EXPECT_EQ(own_headers, (std::vector<std::pair<std::string, std::string>>{
                               {"Accept-Encoding", "gzip,deflate"},
                               {"Content-Type", "application/json"},
                               {"X-API-Key", "mv4pzkatrwqyenhlbu"}}));
    EXPECT_TRUE(texts(EVT_LOG_ERROR).empty());
    EXPECT_EQ(process_messages_thread::tls_options, CURLSSLOPT_REVOKE_BEST_EFFORT)
        << "revocation checked on a best-effort basis only; CURLSSLOPT_NO_REVOKE would take a revoked certificate";
}

TEST_F(sender_test, reports_every_kind_of_failure_and_dumps_all_but_http_failures)
{
    temp_home home;
    fresh_store(); // its folder in the new home
    const fs::path dumps = fs::path(home.path()) / "Quillbank" / "routewarden";
    tracking_stub stub;

    const auto fail_with = [&](const std::string& command, const wxString& row, std::string url = "") {
        sink_.clear();
        fs::remove_all(dumps);
        stub.set_reply(reply(command));
        start(url.empty() ? stub.url() : url, "bus-7", true);
        produce({"message for " + command + "\n"});
        EXPECT_TRUE(wait_for_error(row)) << command;
        EXPECT_EQ(stored_messages().size(), 1u) << command;
        stop();
        fresh_store();
    };

    fail_with("http 503", "HTTP error code: 503.");
    EXPECT_TRUE(dump_pair(dumps).empty()) << "HTTP failures leave no dump";
    fail_with("redirect", "HTTP error code: 302.");
    EXPECT_TRUE(dump_pair(dumps).empty());

    fail_with("malformed", "<unspecified file>(1): ");
    auto pair = dump_pair(dumps);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0], "msg_message for malformed\n");
    EXPECT_EQ(pair[1].substr(0, 4), "res_");

    fail_with("reject 7", "--");
    pair = dump_pair(dumps);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[1], "res_{\"code\": \"7\"}");

    // Nobody listens: a transfer failure with libcurl's text and an empty answer dump.
    fail_with("accept", "Couldn't connect to server", "http://127.0.0.1:1/objects");
    pair = dump_pair(dumps);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0], "msg_message for accept\n");
    EXPECT_EQ(pair[1], "res_");

    // A verbose rejection: the row keeps the reason's first 500 characters, the dump all of it.
    // Only the newest dump pairs stay; other files in the folder are not touched.
    for (int stamp = 1; stamp <= 100; ++stamp)
        for (const char* kind : {"msg_", "res_"})
            write_file(dumps / (kind + std::to_string(stamp) + ".json"), "old");
    write_file(dumps / "msg_notes.json", "kept");
    const std::string reason(60000, 'r');
    stub.set_reply(reply("reject 17 " + reason));
    start(stub.url(), "bus-7", true);
    produce({"verbose\n"});
    ASSERT_TRUE(wait_for_error(" rrr"));
    EXPECT_EQ(texts(EVT_LOG_ERROR).back(), " " + reason.substr(0, 499) + wxString::FromUTF8("\u2026"));
    // The sender may try again before the check, a second later: count the new pairs, not one,
    // and stop it first, so that no pair is being written while the folder is read.
    stop();
    pair = dump_pair(dumps);
    const auto fresh = std::count(pair.begin(), pair.end(), "msg_verbose\n");
    EXPECT_GE(fresh, 1);
    // The pair of the last case, written within the same second, is newer than the old ones.
    EXPECT_EQ(std::count(pair.begin(), pair.end(), "msg_message for accept\n"), 1);
    EXPECT_EQ(std::count(pair.begin(), pair.end(), "msg_old") + fresh, 99);
    EXPECT_EQ(pair.size(), 201u);
    EXPECT_GT(std::count_if(pair.begin(), pair.end(), [](const std::string& d) { return d.size() > 60000; }), 0);
    EXPECT_FALSE(fs::exists(dumps / "msg_1.json"));
}

TEST(debug_dumps, pairs_within_one_second_and_after_the_clock_went_back_are_kept_in_the_order_of_writing)
{
    temp_home home;
    // A clock far ahead for the first hundred pairs, all in one second, then set back.
    for (std::size_t pair = 1; pair <= max_kept_dump_pairs + 1; ++pair)
        save_dump_pair(delivery_folder(), pair <= max_kept_dump_pairs ? 4000000000u : 1000u, std::to_string(pair), "");
    std::vector<std::string> messages;
    for (const wxFileName& file : newest_dump_files(delivery_folder(), max_kept_dump_pairs + 1))
        if (file.GetFullName().StartsWith("msg_"))
            messages.push_back(file_bytes(fs_path(file)));
    ASSERT_EQ(messages.size(), max_kept_dump_pairs);
    EXPECT_EQ(messages.front(), std::to_string(max_kept_dump_pairs + 1)) << "the newest pair was deleted at once";
    EXPECT_EQ(messages.back(), "2");
}

TEST_F(sender_test, an_answer_past_the_bounds_fails_and_the_message_goes_on_the_next_pass)
{
    temp_home home;
    fresh_store(); // its folder in the new home
    const fs::path dumps = fs::path(home.path()) / "Quillbank" / "routewarden";
    tracking_stub stub;
    start(stub.url(), "bus-7", true);
    const std::string larger = "Service answer larger than 65536 bytes";
    const struct {
        const char* command;
        std::string row;
        // The answer's dump: its start and size (of an oversized answer, what was kept up to the cap).
        std::string dump_start;
        std::size_t dump_size;
    } cases[] = {
        {"nested", larger, "[[[[", 65536},
        {"nested 60000", "Service answer nested deeper than 32 levels", "[[[[", 60000},
        {"oversized", larger, "{\"id\": \"", 65536},
    };
    for (const auto& c : cases) {
        sink_.clear();
        fs::remove_all(dumps);
        const std::string message = std::string("message for ") + c.command + "\n";
        stub.set_reply(reply(c.command));
        produce({message});
        ASSERT_TRUE(wait_for_error(c.row)) << c.command;
        EXPECT_EQ(stored_messages(), std::vector<std::string>{message}) << c.command;
        const auto pair = dump_pair(dumps);
        ASSERT_EQ(pair.size(), 2u) << c.command;
        EXPECT_EQ(pair[0], "msg_" + message);
        EXPECT_EQ(pair[1].substr(0, 4 + c.dump_start.size()), "res_" + c.dump_start) << c.command;
        EXPECT_EQ(pair[1].size(), 4 + c.dump_size) << c.command;

        stub.set_reply(reply("accept"));
        produce({});
        ASSERT_TRUE(eventually([this] { return stored_messages().empty(); }, 10s))
            << c.command << ": the accepted second try must take the message off the store";
        EXPECT_EQ(stub.requests().back().body, message);
        EXPECT_EQ(texts(EVT_LOG_ERROR).size(), 1u) << c.command;
    }
}

TEST_F(sender_test, keeps_the_ten_newest_while_the_service_is_down)
{
    start("http://127.0.0.1:1/objects");
    produce(numbered(1, 12, "\n"));
    ASSERT_TRUE(wait_for_error("Couldn't connect to server"));
    ASSERT_TRUE(eventually([this] { return stored_messages().size() == 10; }, 5s));
    EXPECT_EQ(stored_messages().front(), "message 3\n");
    EXPECT_EQ(stored_messages().back(), "message 12\n");
    ASSERT_TRUE(eventually([&] { return reports().size() == 2; }, 5s));
    EXPECT_EQ(reports(), (std::vector<wxString>{"dropped 2 ''", "delivery_failed 0 'Couldn't connect to server'"}));
}

TEST_F(sender_test, the_outbox_loses_the_delivered_message_and_the_ones_the_trim_drops)
{
    temp_home home;
    tracking_stub stub;
    stub.script({reply("accept"), reply("reject 42 not now")});
    fresh_store(); // its outbox in the new home
    ASSERT_EQ(store_->open_outbox().failure, "");
    start(stub.url());
    produce(numbered(1, 3, "\n"));
    ASSERT_TRUE(wait_for_error(" not now"));
    stop();
    EXPECT_EQ(outbox_rows(*store_), numbered(2, 3, "\n"));

    // Restarted with what was left; the service now rejects everything.
    stub.set_reply(reply("reject 42 still not"));
    fresh_store();
    ASSERT_EQ(store_->open_outbox().restored, 2u);
    start(stub.url());
    produce(numbered(4, 13, "\n"));
    ASSERT_TRUE(eventually([this] { return stored_messages().size() == 10; }, 10s));
    stop();
    EXPECT_EQ(stored_messages(), numbered(4, 13, "\n"));
    EXPECT_EQ(outbox_rows(*store_), numbered(4, 13, "\n"));
}

TEST_F(sender_test, uses_the_proxy_only_while_one_is_configured)
{
    tracking_stub service;
    tracking_stub proxy;
    start(service.url(), "bus-7", false, proxy.url(""));
    produce({"via proxy\n"});
    ASSERT_TRUE(proxy.wait_for_requests(1, 10s));
    EXPECT_EQ(proxy.requests()[0].target, service.url() + "?device=bus-7");

    // An emptied setting means a direct connection, also when the environment names a proxy.
    wxSetEnv("http_proxy", proxy.url(""));
    configure(service.url(), "bus-7", false, "");
    produce({"direct\n"});
    ASSERT_TRUE(service.wait_for_requests(1, 10s));
    wxUnsetEnv("http_proxy");
    EXPECT_EQ(service.requests()[0].body, "direct\n");
    EXPECT_EQ(proxy.requests().size(), 1u);
}

TEST_F(sender_test, a_service_that_never_answers_times_out)
{
    tracking_stub stub;
    stub.set_reply(reply("hang"));
    start(stub.url());
    produce({"waits\n"});
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_for_error("Timeout was reached"));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 17s);
    EXPECT_EQ(stored_messages().size(), 1u);
}

TEST_F(sender_test, stops_at_once_when_idle_and_during_a_transfer)
{
    tracking_stub stub;
    stub.set_reply(reply("hang"));
    start(stub.url());
    // Idle: waiting for a notification that never comes.
    std::this_thread::sleep_for(100ms);
    auto started = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

    start(stub.url());
    produce({"in flight\n"});
    ASSERT_TRUE(stub.wait_for_requests(1, 10s));
    started = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}
