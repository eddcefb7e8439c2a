#include "app/tracking_state.hpp"

#include <algorithm>

#include <wx/intl.h>

namespace {
constexpr int misses_for_failing = 3;
// The notification area on Windows shows at most this many characters of a tooltip.
constexpr std::size_t tooltip_limit = 127;
const wxString ellipsis = wxString::FromUTF8("\u2026");

// A failure text from a peer or a library on one line, cut to room characters.
wxString one_line(wxString text, std::size_t room)
{
    text.Replace("\r", " ");
    text.Replace("\n", " ");
    text.Trim(true).Trim(false);
    if (text.length() > room)
        text = text.Left(room > 0 ? room - 1 : 0) + ellipsis;
    return text;
}
}

void tracking_state::take(const worker_fact& fact, const wxDateTime& now)
{
    using kind = worker_fact::kind;
    switch (fact.what) {
    case kind::delivered:
        last_delivery_ = now;
        waiting_ = fact.count;
        delivery_failing_ = false;
        break;
    case kind::delivery_failed:
        delivery_failing_ = true;
        delivery_failure_ = fact.text;
        coordinates_failed_last_ = false;
        break;
    case kind::waiting:
        waiting_ = fact.count;
        break;
    case kind::dropped:
        dropped_ += fact.count;
        waiting_ -= std::min(waiting_, fact.count);
        break;
    case kind::coordinates_answered:
        coordinate_misses_ = 0;
        break;
    case kind::coordinates_missed:
        ++coordinate_misses_;
        coordinates_failed_last_ = true;
        break;
    case kind::memory_only:
        memory_only_ = fact.count != 0;
        break;
    case kind::worker_ended: // counted by the agent
        break;
    }
}

bool tracking_state::coordinates_failing() const
{
    return coordinate_misses_ >= misses_for_failing;
}

wxString tracking_state::tooltip(const wxString& title) const
{
    wxString text = title;
    text << '\n'
         << (last_delivery_.IsValid()
                 ? wxString::Format(_("Last delivery: %s"), last_delivery_.Format("%d.%m.%Y %H:%M:%S"))
                 : _("No delivery yet"));
    text << '\n' << wxString::Format(_("Waiting: %ld, dropped: %ld"), static_cast<long>(waiting_), static_cast<long>(dropped_));
    if (no_device_)
        text << '\n' << _("No device ID");
    if (memory_only_)
        text << '\n' << _("Messages kept in memory only");
    if (delivery_failing_ || coordinates_failing()) {
        text << '\n';
        text << failure_line(tooltip_limit > text.length() ? tooltip_limit - text.length() : 0);
    }
    return text;
}

wxString tracking_state::failure_line(std::size_t room) const
{
    const bool coordinates = coordinates_failing() && (coordinates_failed_last_ || !delivery_failing_);
    if (coordinates)
        return one_line(_("Coordinate server not answering"), room);
    const wxString format = _("Delivery failed: %s");
    const std::size_t fixed = format.length() - wxStrlen("%s");
    return wxString::Format(format, one_line(delivery_failure_, room > fixed ? room - fixed : 0));
}
