#include "log/log_page.hpp"

#include <cstring>
#include <filesystem>

#include "log/durable_file.hpp"
#include "log/log_files.hpp"

namespace {

constexpr char page_header[] = "<html>\n<table>\n<tbody>\n";
constexpr char row_end_line[] = "</tr>";
// Shown on its own, each row is its own table: a time cell that never wraps keeps the
// columns of all rows in line.
constexpr char own_table[] = "<table>\n";
constexpr char time_cell[] = "<tr>\n<td>";
constexpr char error_row_mark[] = "<font color='red'>";
constexpr char time_cell_shown[] = "<tr>\n<td nowrap valign='top'>";

}  // namespace

log_page::log_page(const wxFileName& file, std::size_t max_rows, std::uintmax_t file_limit)
    : max_rows_(max_rows), file_limit_(file_limit)
{
    open_file(file);
}

log_page::~log_page()
{
    flush_to_disk();
}

void log_page::flush_to_disk()
{
    if (!unflushed_)
        return;
    file_.flush();
    ::flush_to_disk(current_file_.GetFullPath());
    unflushed_ = false;
}

void log_page::append(const wchar_t* text, std::size_t length)
{
    encoded_.clear();
    encoder_.encode(text, length, encoded_);
    if (encoded_.empty())
        return;

    const std::size_t from = tail_.size();
    tail_ += encoded_;
    std::size_t row_start = 0;
    std::size_t unwritten = from;
    for (std::size_t eol = tail_.find('\n', from); eol != std::string::npos; eol = tail_.find('\n', eol + 1)) {
        if (eol - line_start_ == std::strlen(row_end_line) && tail_.compare(line_start_, eol - line_start_, row_end_line) == 0) {
            // A file ends only with a whole row: the rest of this write may go to the next one.
            write_file(tail_.data() + unwritten, eol + 1 - unwritten);
            unwritten = eol + 1;
            if (static_cast<std::streamoff>(file_.tellp()) > static_cast<std::streamoff>(file_limit_))
                open_file(new_log_file(current_file_.GetPath()));
            end_row(tail_.substr(row_start, eol + 1 - row_start));
            if (rows_.back().find(error_row_mark) != std::string::npos)
                flush_to_disk();
            row_start = eol + 1;
        }
        line_start_ = eol + 1;
    }
    write_file(tail_.data() + unwritten, tail_.size() - unwritten);
    tail_.erase(0, row_start);
    line_start_ -= row_start;
}

void log_page::end_row(std::string row)
{
    rows_.push_back(std::move(row));
    if (rows_.size() > max_rows_) {
        rows_.pop_front();
        ++dropped_;
    }
}

void log_page::open_file(const wxFileName& file)
{
    flush_to_disk(); // the file before keeps its last rows
    current_file_ = file;
    file_.close();
    file_.open(std::filesystem::u8path(file.GetFullPath().utf8_string()), std::ios::out | std::ios::trunc);
    write_file(page_header, std::strlen(page_header));
}

void log_page::write_file(const char* text, std::size_t length)
{
    if (!file_ || length == 0)
        return;
    file_.write(text, static_cast<std::streamsize>(length));
    file_.flush();
    unflushed_ = true;
}

wxString log_page::source() const
{
    std::string source = page_header;
    for (const std::string& row : rows_)
        source += row;
    source += tail_;
    return wxString::FromUTF8(source.data(), source.size());
}

std::size_t log_page::item_count() const
{
    return rows_.size() + (tail_.empty() ? 0 : 1);
}

wxString log_page::item_markup(std::size_t item) const
{
    const std::string& text = item < rows_.size() ? rows_[item] : tail_;
    wxString markup = wxString::FromUTF8(text.data(), text.size());
    markup.Replace(time_cell, time_cell_shown, false);
    return own_table + markup;
}
