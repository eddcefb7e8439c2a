// platform::write_event: the Windows Application log; other platforms write no events.
#include "app/platform.hpp"

#ifdef __WINDOWS__
#include <algorithm>
#include <iterator>

#include <wx/msw/wrapwin.h>

// Made by windmc from app/routewarden_events.mc in the build folder, not in the tree.
#include <routewarden_events.h>
#endif

namespace platform {

#ifdef __WINDOWS__

namespace {
// The table's message ids: the low word is the event's number, the top two bits its level.
constexpr DWORD messages[] = {
    ROUTEWARDEN_STARTED,         ROUTEWARDEN_ENDED,       ROUTEWARDEN_POLICY_REFUSED,
    ROUTEWARDEN_DELIVERY_STALLED, ROUTEWARDEN_DELIVERY_RESUMED, ROUTEWARDEN_MEMORY_ONLY,
    ROUTEWARDEN_OUTBOX_USED_AGAIN, ROUTEWARDEN_LOG_UNWRITABLE,
};

WORD event_type(DWORD message)
{
    switch (message >> 30) {
    case 3:
        return EVENTLOG_ERROR_TYPE;
    case 2:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

// Registered at the first event and kept for the run.
class event_source {
public:
    event_source() : handle_(RegisterEventSourceW(nullptr, L"Routewarden")) {}
    event_source(const event_source&) = delete;
    event_source& operator=(const event_source&) = delete;
    ~event_source()
    {
        if (handle_)
            DeregisterEventSource(handle_);
    }

    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_;
};
}

void write_event(event_id id, const wxString& text)
{
    static const event_source source; // made once, whichever thread comes first
    const auto message = std::find_if(std::begin(messages), std::end(messages), [id](DWORD m) {
        return LOWORD(m) == static_cast<WORD>(id);
    });
    if (!source.handle() || message == std::end(messages))
        return;
    const std::wstring insertion = text.ToStdWstring();
    LPCWSTR strings[] = {insertion.c_str()};
    ReportEventW(source.handle(), event_type(*message), 0, *message, nullptr, 1, 0, strings, nullptr);
}

#else

void write_event(event_id, const wxString&)
{
    // The log files keep every row; the system's log gets nothing.
}

#endif

}
