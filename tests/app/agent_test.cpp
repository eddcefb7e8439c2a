// The agent without a window, as the views see it: its start-up rows, the workers' rows as plain
// text, status facts and tracking routed to a subscribed view, and a worker that ends.
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>

#include "app/tracking_agent.hpp"
#include "file_contents.hpp"
#include "log/log_rows.hpp"
#include "log/running_log.hpp"
#include "temp_home.hpp"
#include "worker_base/worker_thread.hpp"

namespace {
struct recording_view : agent_view {
    std::vector<std::pair<status_field, wxString>> statuses;
    std::vector<wxString> tooltips;
    bool failing = false;
    void show_status(status_field field, const wxString& text) override { statuses.emplace_back(field, text); }
    void show_tracking(const tracking_state& state) override
    {
        tooltips.push_back(state.tooltip("Routewarden"));
        failing = state.failing();
    }
};

struct agent_test : testing::Test {
    temp_home home;
    const bool configured = (write_file(fs_path(user_folders().settings_file()), "device=LOCO-7\n"), true);
    // Active, not running: the agent's queued calls, timers and folder watcher need a loop.
    wxConsoleEventLoop loop;
    wxEventLoopActivator active{&loop};
    tracking_agent agent{user_folders()};
    recording_view view;

    agent_test()
    {
        agent.subscribe(&view);
        agent.start();
    }
    ~agent_test() override { agent.unsubscribe(&view); }

    std::string log() { return file_text(fs_path(agent.log().page().current_file())); }
    static void deliver() { wxAppConsole::GetInstance()->ProcessPendingEvents(); }
};
}

TEST_F(agent_test, starts_with_its_rows_and_writes_every_row_as_plain_text)
{
    queue_log_info(&agent, "Service address: http://host/a?b=1&c=<2>");
    queue_log_error(&agent, "<b>not bold</b>");
    deliver();

    const std::string text = log();
    const auto row = [&](const char* colour, const std::string& body) {
        return text.find(std::string("<font color='") + colour + "'>" + body + "</font>");
    };
    const auto versions =
        row("blue",
            wxString::Format("wxWidgets %d.%d.%d", wxMAJOR_VERSION, wxMINOR_VERSION, wxRELEASE_NUMBER).utf8_string());
    const auto coordinates = row("blue", "Coordinate server: 127.0.0.1:12500");
    const auto service = row("blue", std::string("Service address: ") + settings::default_tracking_server_address);
    ASSERT_NE(versions, std::string::npos) << text;
    EXPECT_LT(versions, coordinates) << "the start rows come first";
    EXPECT_LT(coordinates, service) << "the poller's address, then the sender's";
    EXPECT_NE(row("blue", "Service address: http://host/a?b=1&amp;c=&lt;2&gt;"), std::string::npos) << text;
    EXPECT_NE(row("red", "&lt;b&gt;not bold&lt;/b&gt;"), std::string::npos) << text;
    EXPECT_EQ(text.find("color='red'"), text.rfind("color='red'")) << "exactly one red row";
}

TEST_F(agent_test, tells_its_views_the_facts_as_texts_and_a_worker_that_ends_as_a_red_row)
{
    EXPECT_EQ(view.tooltips.size(), 1u) << "the views are told the state at start";
    queue_status(&agent, coordinate_status{});
    queue_status(&agent, delivery_counts{3, 41});
    queue_fact(&agent, {worker_fact::kind::delivered, 2});
    deliver();
    const std::vector<std::pair<status_field, wxString>> expected = {
        {status_field::coordinates, "Coordinate server: no data."},
        {status_field::delivery, "Messages in queue: 3 sent: 41"}};
    EXPECT_EQ(view.statuses, expected);
    ASSERT_FALSE(view.tooltips.empty());
    EXPECT_NE(view.tooltips.back().Find("Waiting: 2, dropped: 0"), wxNOT_FOUND) << view.tooltips.back();
    EXPECT_FALSE(view.failing);

    struct throwing_worker : worker_thread {
        using worker_thread::worker_thread;
        void wake() override {}
        void run() override { throw std::runtime_error("bad <state>"); }
    } worker("thrower", &agent);
    ASSERT_EQ(worker.Run(), wxTHREAD_NO_ERROR);
    worker.Wait();
    deliver();
    EXPECT_NE(log().find("<font color='red'>Worker thrower ended: bad &lt;state&gt;</font>"), std::string::npos)
        << log();
    EXPECT_TRUE(view.failing) << "a worker down marks the globe";
}
