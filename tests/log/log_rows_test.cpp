#include <gtest/gtest.h>

#include <sstream>

#include "log/log_rows.hpp"
#include "log/row_writer.hpp"

namespace {

std::tm at(int day, int month, int year, int hour, int minute, int second)
{
    std::tm time{};
    time.tm_mday = day;
    time.tm_mon = month - 1;
    time.tm_year = year - 1900;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

}  // namespace

TEST(log_rows, a_row_is_four_lines_with_time_colour_and_plain_text)
{
    std::wostringstream out;
    write_row(out, row_kind::information, at(5, 1, 2027, 7, 3, 9), L"Started <b>now</b> & \"c\" 'd' ё");
    write_row(out, row_kind::error, at(31, 12, 2026, 23, 59, 58), L"");
    EXPECT_EQ(out.str(),
              L"<tr>\n<td>05.01.2027 07:03:09</td>\n<td> <font color='blue'>Started &lt;b&gt;now&lt;/b&gt; &amp; &quot;c&quot; &#39;d&#39; ё</font></td>\n</tr>\n"
              L"<tr>\n<td>31.12.2026 23:59:58</td>\n<td> <font color='red'></font></td>\n</tr>\n");
}
