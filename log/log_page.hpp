#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <string>

#include <wx/filename.h>
#include <wx/string.h>

#include "log/log_sink.hpp"
#include "log/utf8_encoder.hpp"

// The newest rows a page keeps for the view; the log files keep every row.
constexpr std::size_t log_view_rows = 20000;
// A log file that has grown past this many bytes continues in a new one after the row that did it.
constexpr std::uintmax_t log_file_limit = 10 * 1024 * 1024;

// The HTML source of the log as it is written: the page header, which the page writes itself,
// then the text cut into items at the end of every "</tr>" line, so that a view can lay out
// one row at a time. Only the newest rows are kept, as UTF-8; the oldest go one by one as new
// ones come. Every write also goes to the log file (UTF-8, flushed after each write), which
// keeps the header and every row. A red row is flushed to the disk at once; blue rows wait for
// flush_to_disk, which the running log calls at most every 10 s, so that a row costs no disk flush.
// Once the file passes file_limit bytes, the next row goes to a new file in the same folder
// (new_log_file) that starts with the same header, so that each file is a page of its own. A file
// that cannot be opened leaves the page working.
class log_page : public log_sink {
public:
    explicit log_page(const wxFileName& file, std::size_t max_rows = log_view_rows,
                      std::uintmax_t file_limit = log_file_limit);

    ~log_page();

    void append(const wchar_t* text, std::size_t length) override;

    // True while rows written to the file may not be on the disk yet.
    bool unflushed() const { return unflushed_; }
    // Flushes the file to the disk (fsync): the rows before a power cut are the ones support needs.
    void flush_to_disk();

    // The page header and the items kept.
    wxString source() const;

    // The finished rows kept (at most max_rows) and an unfinished tail when there is one.
    std::size_t item_count() const;
    // The item's markup for showing it on its own as a one-row table.
    wxString item_markup(std::size_t item) const;
    // The rows dropped from the front so far; each moved every later item one place forward.
    std::size_t dropped() const { return dropped_; }
    // The log file being written.
    const wxFileName& current_file() const { return current_file_; }
    // False once the file could not be opened or a write to it failed.
    bool file_writable() const { return static_cast<bool>(file_); }

private:
    // Keeps a finished row, dropping the oldest beyond max_rows_.
    void end_row(std::string row);
    // Writes the header to a new file, which takes the place of the one before.
    void open_file(const wxFileName& file);
    void write_file(const char* text, std::size_t length);

    std::size_t max_rows_;
    std::uintmax_t file_limit_;
    utf8_encoder encoder_;
    std::deque<std::string> rows_;  // each ends with its "</tr>" line
    std::string tail_;              // the text after the last row, a row being written
    std::size_t line_start_ = 0;    // in tail_
    std::size_t dropped_ = 0;
    std::string encoded_;  // one write, reused
    wxFileName current_file_;
    std::ofstream file_;
    bool unflushed_ = false;
};
