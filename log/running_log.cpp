#include "log/running_log.hpp"

#include "log/log_rows.hpp"

namespace {

constexpr int flush_ms = 10 * 1000;

// The library's messages as rows: errors and warnings red, the rest of what it shows blue. Those
// of worker threads the library keeps and hands over on the main thread.
class library_log_rows : public wxLog {
protected:
    void DoLogRecord(wxLogLevel level, const wxString& text, const wxLogRecordInfo&) override
    {
        if (level <= wxLOG_Warning)
            log_error(text);
        else if (level <= wxLOG_Info)
            log_info(text);
    }
};

} // namespace

running_log::running_log(const wxFileName& file, std::size_t max_rows)
    : page_(file, max_rows), cout_redirector_(*this), cerr_redirector_(*this)
{
    flush_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { page_.flush_to_disk(); });
    Bind(EVT_LOG_INFO, [](wxThreadEvent& event) { log_info(event.GetString()); });
    Bind(EVT_LOG_ERROR, [](wxThreadEvent& event) { log_error(event.GetString()); });
    set_row_target(this);
    previous_library_log_ = wxLog::SetActiveTarget(new library_log_rows);
}

running_log::~running_log()
{
    set_row_target(nullptr);
    delete wxLog::SetActiveTarget(previous_library_log_);
}

void running_log::append(const wchar_t* text, std::size_t length)
{
    page_.append(text, length);
    if (page_.unflushed() && !flush_.IsRunning())
        flush_.StartOnce(flush_ms);
    if (appended_)
        appended_();
}
