#include <vector>

#include <gtest/gtest.h>

#include "app/tracking_state.hpp"

namespace {
struct report {
    worker_fact::kind kind;
    long number = 0;
    const char* text = "";
};

using tr = worker_fact::kind;
// The agent's count of workers down, which it sets as workers end and start again.
constexpr tr workers_down = tr::worker_ended;
// The agent's: whether the device ID in force is empty.
constexpr auto no_device = static_cast<tr>(-1);
const wxDateTime delivered_at(7, wxDateTime::Dec, 2026, 17, 5, 28);
const wxString title = "Routewarden";
const wxString none_yet = "No delivery yet";
const wxString at_time = "Last delivery: 07.12.2026 17:05:28";
const wxString coordinates_down = "Coordinate server not answering";

wxString tip(const wxString& last, long waiting, long dropped, const wxString& failure = {})
{
    wxString text = title + "\n" + last + "\n" + wxString::Format("Waiting: %ld, dropped: %ld", waiting, dropped);
    if (!failure.empty())
        text << "\n" << failure;
    return text;
}

tracking_state state_after(const std::vector<report>& reports)
{
    tracking_state state;
    for (const auto& r : reports)
        if (r.kind == workers_down)
            state.set_workers_down(static_cast<std::size_t>(r.number));
        else if (r.kind == no_device)
            state.set_no_device(r.number != 0);
        else
            state.take({r.kind, static_cast<std::size_t>(r.number), wxString::FromUTF8(r.text)}, delivered_at);
    return state;
}

const report missed{tr::coordinates_missed};
const report answered{tr::coordinates_answered};
const report refused{tr::delivery_failed, 0, "Couldn't connect to server"};

TEST(tracking_state, tooltip_and_failing_follow_the_reports)
{
    struct case_t {
        const char* name;
        std::vector<report> reports;
        wxString tooltip;
        bool failing;
    };
    const std::vector<case_t> cases = {
        {"at start", {}, tip(none_yet, 0, 0), false},
        {"a coordinate server that has just answered", {answered}, tip(none_yet, 0, 0), false},
        {"deliveries count down the waiting",
         {{tr::waiting, 3}, {tr::delivered, 2}, {tr::delivered, 1}}, tip(at_time, 1, 0), false},
        {"a failed delivery, and the trim drops from the waiting",
         {{tr::waiting, 12}, refused, {tr::dropped, 2}},
         tip(none_yet, 10, 2, "Delivery failed: Couldn't connect to server"), true},
        {"drops add up over the run", {{tr::waiting, 11}, {tr::dropped, 1}, {tr::waiting, 11}, {tr::dropped, 1}},
         tip(none_yet, 10, 2), false},
        {"a delivery after a failure ends the failing", {{tr::waiting, 1}, refused, {tr::delivered, 0}},
         tip(at_time, 0, 0), false},
        {"two cycles without an answer are not yet failing", {missed, missed}, tip(none_yet, 0, 0), false},
        {"three are", {missed, missed, missed}, tip(none_yet, 0, 0, coordinates_down), true},
        {"three in a row only", {missed, missed, answered, missed, missed}, tip(none_yet, 0, 0), false},
        {"an answer ends the failing", {missed, missed, missed, answered}, tip(none_yet, 0, 0), false},
        {"a worker down", {{workers_down, 2}, {workers_down, 1}}, tip(none_yet, 0, 0), true},
        {"every worker running again", {{workers_down, 1}, {workers_down, 0}}, tip(none_yet, 0, 0), false},
        {"no device ID", {{no_device, 1}}, tip(none_yet, 0, 0, "No device ID"), true},
        {"a device ID again", {{no_device, 1}, {no_device, 0}}, tip(none_yet, 0, 0), false},
        {"both failing: the latest shows", {refused, missed, missed, missed}, tip(none_yet, 0, 0, coordinates_down),
         true},
        {"both failing, the delivery last", {missed, missed, missed, refused},
         tip(none_yet, 0, 0, "Delivery failed: Couldn't connect to server"), true},
        {"a coordinate miss does not hide a failing delivery", {refused, missed},
         tip(none_yet, 0, 0, "Delivery failed: Couldn't connect to server"), true},
        {"a rejection's reason on one line", {{tr::delivery_failed, 0, " no such\r\ndevice "}},
         tip(none_yet, 0, 0, "Delivery failed: no such  device"), true},
        {"an outbox that cannot be used, with a failing delivery", {{tr::memory_only, 1}, refused},
         tip(none_yet, 0, 0, "Messages kept in memory only\nDelivery failed: Couldn't connect to server"), true},
        {"an outbox used again", {{tr::memory_only, 1}, {tr::memory_only, 0}}, tip(none_yet, 0, 0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tracking_state state = state_after(c.reports);
        EXPECT_EQ(state.tooltip(title), c.tooltip);
        EXPECT_EQ(state.failing(), c.failing);
    }
}

TEST(tracking_state, a_long_failure_is_cut_to_what_the_notification_area_shows)
{
    const std::string reason(300, 'x');
    const wxString tooltip =
        state_after({{tr::delivered, 0}, {tr::delivery_failed, 0, reason.c_str()}}).tooltip(title);
    EXPECT_EQ(tooltip.length(), 127u);
    EXPECT_TRUE(tooltip.StartsWith(tip(at_time, 0, 0, "Delivery failed: xxx")));
    EXPECT_TRUE(tooltip.EndsWith(wxString::FromUTF8("x\u2026")));
}
}
