#include "app/event_reports.hpp"

#include <algorithm>
#include <utility>

#include <wx/intl.h>

using platform::event_id;

namespace {
long minutes_between(event_reports::clock::time_point from, event_reports::clock::time_point to)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::minutes>(to - from).count());
}
}

event_reports::event_reports(writer write) : write_(std::move(write)) {}

void event_reports::started(const wxString& version, const wxString& device)
{
    write_(event_id::started, wxString::Format(_("Routewarden %s started, device [%s]"), version, device));
}

void event_reports::ended()
{
    write_(event_id::ended, _("Routewarden ended normally"));
}

void event_reports::policy_refused(const std::vector<wxString>& rows)
{
    for (const wxString& row : rows)
        if (std::find(refused_.begin(), refused_.end(), row) == refused_.end())
            write_(event_id::policy_refused, row);
    refused_ = rows;
}

void event_reports::delivered(clock::time_point now)
{
    last_delivery_ = now;
    if (!stalled_since_)
        return;
    write_(event_id::delivery_resumed,
           wxString::Format(_("Positions delivered again after %ld minutes without a delivery"),
                            minutes_between(*stalled_since_, now)));
    stalled_since_.reset();
}

void event_reports::waiting(long count, clock::time_point now)
{
    if (count <= 0)
        waiting_since_.reset();
    else if (!waiting_since_)
        waiting_since_ = now;
    waiting_ = count;
}

void event_reports::tick(clock::time_point now)
{
    if (stalled_since_ || !waiting_since_)
        return;
    const clock::time_point silent_since = std::max(*waiting_since_, last_delivery_.value_or(*waiting_since_));
    if (now - silent_since < stall_limit)
        return;
    stalled_since_ = silent_since;
    write_(event_id::delivery_stalled,
           wxString::Format(_("No delivery for %ld minutes, positions waiting: %ld"),
                            minutes_between(silent_since, now), waiting_));
}

void event_reports::memory_only(bool on)
{
    if (on == memory_only_)
        return;
    memory_only_ = on;
    if (on)
        write_(event_id::memory_only, _("The outbox cannot be used, messages are kept in memory only"));
    else
        write_(event_id::outbox_used_again, _("The outbox is used again"));
}

void event_reports::log_unwritable(bool on)
{
    if (on && !log_unwritable_)
        write_(event_id::log_unwritable, _("Log files cannot be written"));
    log_unwritable_ = on;
}
