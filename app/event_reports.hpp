#pragma once
// When the agent writes to the system's log (platform::write_event): once at each change of
// state, never once a cycle, so that fleet monitoring counts outages rather than poll cycles.
// No GUI; calls come from one thread.
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "app/platform.hpp"

class event_reports {
public:
    using clock = std::chrono::steady_clock;
    using writer = std::function<void(platform::event_id, const wxString&)>;

    // How long positions wait without a delivery before that is an outage.
    static constexpr std::chrono::minutes stall_limit{30};

    explicit event_reports(writer write = platform::write_event);

    void started(const wxString& version, const wxString& device);
    void ended();

    // The rows of the refused policy values in force after a policy read: each new one is
    // written; one that stays refused is not written again, one refused again after it went is.
    void policy_refused(const std::vector<wxString>& rows);

    // A message delivered; how many wait now; about once a minute. An outage (positions waiting,
    // nothing delivered for stall_limit since the later of the last delivery and the start of
    // the wait) is written at the tick that finds it, its end at the next delivery.
    void delivered(clock::time_point now);
    void waiting(long count, clock::time_point now);
    void tick(clock::time_point now);

    // Whether messages are kept in memory only (the outbox cannot be used); false at start.
    void memory_only(bool on);
    // Whether the log files cannot be written; each such spell is written at its start.
    void log_unwritable(bool on);

private:
    writer write_;
    std::vector<wxString> refused_;
    long waiting_ = 0;
    std::optional<clock::time_point> waiting_since_;
    std::optional<clock::time_point> last_delivery_;
    // The start of the silence when an outage was written, until the next delivery.
    std::optional<clock::time_point> stalled_since_;
    bool memory_only_ = false;
    bool log_unwritable_ = false;
};
