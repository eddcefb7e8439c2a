#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <iostream>
#include <string>

#include <wx/utils.h>

#include "file_contents.hpp"
#include "log/log_files.hpp"
#include "log/log_page.hpp"
#include "log/log_rows.hpp"
#include "log/ui_redirectors.hpp"
#include "log/utf8_encoder.hpp"
#include "temp_home.hpp"

namespace {

// The page and its file with both standard wide streams redirected into them, as in the view.
class redirected : public testing::Test {
protected:
    const std::string header = "<html>\n<table>\n<tbody>\n";
    static std::wstring row(std::size_t n) { return L"<tr>\n<td>t</td>\n<td>" + std::to_wstring(n) + L"</td>\n</tr>\n"; }
    static void append(log_page& to, const std::wstring& text) { to.append(text.data(), text.size()); }
    temp_home home;
    std::string path = home.path() + "/run.html";
    log_page page{wxFileName(path)};
};

class wide_streams_redirected : public redirected {
protected:
    ui_redirector_cout out{page};
    ui_redirector_cerr err{page};
};

}  // namespace

TEST_F(wide_streams_redirected, every_character_reaches_page_and_file_at_once)
{
    std::wcout << L'a';
    std::wcout.put(L'b');
    EXPECT_EQ(file_text(path), header + "ab");  // no flush asked for
    std::wcerr << L"<e>";
    std::wcout << 42 << std::endl;
    EXPECT_EQ(page.source(), header + "ab<e>42\n");
    EXPECT_EQ(file_text(path), header + "ab<e>42\n");
}

TEST_F(wide_streams_redirected, a_row_the_locale_cannot_encode_does_not_stop_later_rows)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    log_info(L"Ошибка связи ✓ 😀");
    log_error("after");
    std::setlocale(LC_ALL, previous.c_str());

    const std::string text = file_text(path);
    EXPECT_NE(text.find(u8"Ошибка связи ✓ 😀</font></td>\n</tr>\n"), std::string::npos);
    EXPECT_NE(text.find("<font color='red'>after</font></td>\n</tr>\n"), std::string::npos);
    EXPECT_EQ(page.source().utf8_string(), text);
}

TEST_F(redirected, rows_become_items_however_the_text_is_split)
{
    const std::wstring row1 = L"<tr>\n<td>t</td>\n<td>one</td>\n</tr>\n";
    const std::wstring row2 = L"<tr>\n<td>t</td>\n<td><b>two</b></td>\n</tr>\n";
    EXPECT_EQ(page.item_count(), 0u);
    for (wchar_t c : row1 + row2)
        page.append(&c, 1);
    page.append(L"<tr>\n", 5);

    ASSERT_EQ(page.item_count(), 3u);
    EXPECT_EQ(page.source(), header + wxString(row1 + row2 + L"<tr>\n"));
    // Shown alone, a row is a table of its own whose time cell does not wrap; markup stays markup.
    const std::wstring time_cell = L"<tr>\n<td nowrap valign='top'>t</td>\n";
    EXPECT_EQ(page.item_markup(0), L"<table>\n" + time_cell + L"<td>one</td>\n</tr>\n");
    EXPECT_EQ(page.item_markup(1), L"<table>\n" + time_cell + L"<td><b>two</b></td>\n</tr>\n");
    EXPECT_EQ(page.item_markup(2), L"<table>\n<tr>\n");
    page.append(L"</tr>\n", 6);
    EXPECT_EQ(page.item_count(), 3u);
    EXPECT_EQ(page.item_markup(2), L"<table>\n<tr>\n</tr>\n");
    // A "</tr>" that is not a whole line ends no item.
    page.append(L"x</tr>\n", 7);
    EXPECT_EQ(page.item_count(), 4u);
}

TEST_F(redirected, keeps_the_newest_rows_while_the_file_keeps_every_row)
{
    log_page small(wxFileName(home.path() + "/small.html"), 3);
    const std::wstring all = row(0) + row(1) + row(2) + row(3) + row(4) + L"<tr>\n";
    append(small, all);  // rows dropped within one write too
    EXPECT_EQ(small.item_count(), 4u) << "three rows and the one being written";
    EXPECT_EQ(small.dropped(), 2u);
    EXPECT_EQ(small.source(), header + wxString(row(2) + row(3) + row(4) + L"<tr>\n"));
    EXPECT_EQ(small.item_markup(0), L"<table>\n<tr>\n<td nowrap valign='top'>t</td>\n<td>2</td>\n</tr>\n");
    EXPECT_EQ(file_text(home.path() + "/small.html"), header + wxString(all).utf8_string());
    for (std::size_t n = 0; n <= log_view_rows; ++n)
        append(page, row(n));
    EXPECT_EQ(page.item_count(), log_view_rows);
    EXPECT_EQ(page.dropped(), 1u);
}

TEST_F(redirected, continues_in_a_new_file_with_the_header_after_the_row_that_passes_the_limit)
{
    // A file of exactly log_file_limit bytes goes on; the next row passes it.
    const std::uintmax_t header_bytes = std::filesystem::file_size(path);  // its line ends "\r\n" on Windows
    const std::uintmax_t row_bytes = 18 + 3 * (1 + (header_bytes - header.size()) / 3);  // as the big row's
    append(page, L"<tr>\n<td>" + std::wstring(log_file_limit - header_bytes - row_bytes, L'x') + L"</td>\n</tr>\n");
    EXPECT_EQ(std::filesystem::file_size(path), log_file_limit);
    append(page, row(1) + row(2).substr(0, 9));
    append(page, row(2).substr(9));

    const wxString next = page.current_file().GetFullName();  // in the same folder
    EXPECT_EQ(page.current_file(), wxFileName(wxFileName(path).GetPath(), next));
    EXPECT_TRUE(wxMatchWild(log_file_pattern, next) && next.EndsWith(wxString::Format("%lu].html", wxGetProcessId()))) << next;
    const std::string first_text = file_text(path), row1 = wxString(row(1)).utf8_string();
    EXPECT_EQ(first_text.substr(first_text.size() - row1.size()), row1);
    EXPECT_EQ(file_text(fs_path(page.current_file())), header + wxString(row(2)).utf8_string())
        << "a row split over two files";
}

TEST(log_page, works_without_its_file)
{
    log_page page(wxFileName("/nonexistent-folder/run.html"));
    page.append(L"<tr>\n</tr>\n", 11);
    EXPECT_EQ(page.source(), "<html>\n<table>\n<tbody>\n<tr>\n</tr>\n");
    EXPECT_EQ(page.item_count(), 1u);
}

TEST(utf8_encoder, joins_surrogate_pairs_split_over_writes_and_replaces_broken_ones)
{
    utf8_encoder encoder;
    std::string out;
    const wchar_t high = static_cast<wchar_t>(0xD83D), low = static_cast<wchar_t>(0xDE00);
    encoder.encode(&high, 1, out);
    EXPECT_EQ(out, "");
    encoder.encode(&low, 1, out);
    EXPECT_EQ(out, "\xF0\x9F\x98\x80");

    out.clear();
    const wchar_t broken[] = {high, L'A', low, L'\u00E9'};
    encoder.encode(broken, 4, out);
    EXPECT_EQ(out, "\xEF\xBF\xBD" "A" "\xEF\xBF\xBD" "\xC3\xA9");
}
