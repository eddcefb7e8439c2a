#pragma once
// The log of a run. While it lives, every row goes to its page and to the log file: what the main
// thread writes to the standard wide streams, the rows of other threads (it is their row target),
// and the library's own messages, which become rows and never boxes on an unattended screen. Blue
// rows reach the disk within flush period and cost one disk flush per period. No GUI: a view shows
// the page and is told of each new text. Main thread only.
#include <cstddef>
#include <functional>

#include <wx/event.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/timer.h>

#include "log/log_page.hpp"
#include "log/log_sink.hpp"
#include "log/ui_redirectors.hpp"

class running_log : public wxEvtHandler, private log_sink {
public:
    explicit running_log(const wxFileName& file, std::size_t max_rows = log_view_rows);
    ~running_log() override;

    const log_page& page() const { return page_; }
    // The one view, told after each new text; an empty function for none.
    void set_view(std::function<void()> appended) { appended_ = std::move(appended); }

private:
    void append(const wchar_t* text, std::size_t length) override;

    // Declared first, so that it outlives the redirectors that start it.
    wxTimer flush_;
    log_page page_;
    std::function<void()> appended_;
    ui_redirector_cout cout_redirector_;
    ui_redirector_cerr cerr_redirector_;
    wxLog* previous_library_log_ = nullptr;
};
