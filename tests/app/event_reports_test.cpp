#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/event_reports.hpp"

namespace {
using platform::event_id;
using written = std::vector<std::pair<event_id, wxString>>;
using std::chrono::minutes;

event_reports::clock::time_point at(long minute)
{
    return event_reports::clock::time_point{} + minutes(minute);
}

TEST(event_reports, each_event_once_per_change_of_state)
{
    struct case_t {
        const char* name;
        std::function<void(event_reports&)> calls;
        written events;
    };
    const wxString port_refused = "Policy coordinate_server_port [0] refused: out of range. The user's value is used.";
    const wxString device_refused = "Policy device [] refused: empty. The user's value is used.";
    const std::vector<case_t> cases = {
        {"start and end",
         [](event_reports& r) {
             r.started("1.650", "LOCO-7");
             r.ended();
         },
         {{event_id::started, "Routewarden 1.650 started, device [LOCO-7]"},
          {event_id::ended, "Routewarden ended normally"}}},
        {"a refused value once while it stays, again once it was taken and refused anew",
         [&](event_reports& r) {
             r.policy_refused({port_refused});
             r.policy_refused({port_refused, device_refused});
             r.policy_refused({device_refused});
             r.policy_refused({device_refused, port_refused});
         },
         {{event_id::policy_refused, port_refused},
          {event_id::policy_refused, device_refused},
          {event_id::policy_refused, port_refused}}},
        {"an outage at the tick 30 minutes into the wait, once; its end at the next delivery, once",
         [](event_reports& r) {
             r.waiting(3, at(0));
             r.tick(at(29));
             r.waiting(4, at(29));
             r.tick(at(30));
             r.tick(at(31));
             r.delivered(at(45));
             r.delivered(at(46));
         },
         {{event_id::delivery_stalled, "No delivery for 30 minutes, positions waiting: 4"},
          {event_id::delivery_resumed, "Positions delivered again after 45 minutes without a delivery"}}},
        {"the silence counts from the later of the last delivery and the start of the wait",
         [](event_reports& r) {
             r.delivered(at(0));
             r.waiting(2, at(20));
             r.tick(at(49));
             r.delivered(at(49));
             r.tick(at(78));
             r.tick(at(80));
         },
         {{event_id::delivery_stalled, "No delivery for 31 minutes, positions waiting: 2"}}},
        {"no outage without waiting positions, and a wait that ended starts anew",
         [](event_reports& r) {
             r.tick(at(60));
             r.waiting(2, at(60));
             r.waiting(0, at(70));
             r.waiting(1, at(85));
             r.tick(at(114));
         },
         {}},
        {"memory only on each change, not at start",
         [](event_reports& r) {
             r.memory_only(false);
             r.memory_only(true);
             r.memory_only(true);
             r.memory_only(false);
             r.memory_only(false);
         },
         {{event_id::memory_only, "The outbox cannot be used, messages are kept in memory only"},
          {event_id::outbox_used_again, "The outbox is used again"}}},
        {"log files unwritable at the start of each spell",
         [](event_reports& r) {
             r.log_unwritable(false);
             r.log_unwritable(true);
             r.log_unwritable(true);
             r.log_unwritable(false);
             r.log_unwritable(true);
         },
         {{event_id::log_unwritable, "Log files cannot be written"},
          {event_id::log_unwritable, "Log files cannot be written"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        written events;
        event_reports reports([&](event_id id, const wxString& text) { events.emplace_back(id, text); });
        c.calls(reports);
        EXPECT_EQ(events, c.events);
    }
}
}
