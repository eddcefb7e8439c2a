#include "log/log_page.hpp"

#include <cstring>
#include <filesystem>

namespace {

constexpr char row_end_line[] = "</tr>";
// What the page header leaves open when later rows are shown on their own.
constexpr char continued_table[] = "<table>\n";
// Shown on its own, each row is its own table: a time cell that never wraps keeps the
// columns of all rows in line.
constexpr char time_cell[] = "<tr>\n<td>";
constexpr char time_cell_shown[] = "<tr>\n<td nowrap valign='top'>";

}  // namespace

log_page::log_page(const wxFileName& file)
    : file_(std::filesystem::u8path(file.GetFullPath().utf8_string()), std::ios::out | std::ios::trunc)
{
}

void log_page::append(const wchar_t* text, std::size_t length)
{
    encoded_.clear();
    encoder_.encode(text, length, encoded_);
    if (encoded_.empty())
        return;
    if (file_) {
        file_.write(encoded_.data(), static_cast<std::streamsize>(encoded_.size()));
        file_.flush();
    }
    const std::size_t from = source_.size();
    source_ += encoded_;
    find_row_ends(from);
}

void log_page::find_row_ends(std::size_t from)
{
    for (std::size_t eol = source_.find('\n', from); eol != std::string::npos; eol = source_.find('\n', eol + 1)) {
        if (eol - line_start_ == std::strlen(row_end_line) && source_.compare(line_start_, eol - line_start_, row_end_line) == 0)
            row_ends_.push_back(eol + 1);
        line_start_ = eol + 1;
    }
}

wxString log_page::source() const
{
    return wxString::FromUTF8(source_.data(), source_.size());
}

std::size_t log_page::item_count() const
{
    const std::size_t finished_end = row_ends_.empty() ? 0 : row_ends_.back();
    return row_ends_.size() + (source_.size() > finished_end ? 1 : 0);
}

wxString log_page::item_markup(std::size_t item) const
{
    const std::size_t begin = item == 0 ? 0 : row_ends_[item - 1];
    const std::size_t end = item < row_ends_.size() ? row_ends_[item] : source_.size();
    wxString markup = wxString::FromUTF8(source_.data() + begin, end - begin);
    markup.Replace(time_cell, time_cell_shown, false);
    return item == 0 ? markup : continued_table + markup;
}
