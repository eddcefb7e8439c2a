#pragma once
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include <wx/filename.h>
#include <wx/string.h>

#include "log/log_sink.hpp"
#include "log/utf8_encoder.hpp"

// The HTML source of the log as it is written, kept once as UTF-8 and cut into items at the
// end of every "</tr>" line, so that a view can lay out one row at a time. Every write also
// goes to the log file (UTF-8, flushed after each write), which thus always holds the same
// characters as the page. A file that cannot be opened leaves the page working.
class log_page : public log_sink {
public:
    explicit log_page(const wxFileName& file);

    void append(const wchar_t* text, std::size_t length) override;

    // Every character appended so far.
    wxString source() const;

    // The finished rows (the first with the text before it, such as the page header) and
    // an unfinished tail when there is one.
    std::size_t item_count() const;
    // The item's markup for showing it on its own as a one-row table.
    wxString item_markup(std::size_t item) const;

private:
    void find_row_ends(std::size_t from);

    utf8_encoder encoder_;
    std::string source_;
    std::vector<std::size_t> row_ends_;  // offsets just past each "</tr>" line
    std::size_t line_start_ = 0;
    std::string encoded_;  // one write, reused
    std::ofstream file_;
};
