#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "log/foreign_text.hpp"

namespace {

// Sets the character encoding of the C library's locale while it lives.
class character_locale {
public:
    explicit character_locale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr))
    {
        std::setlocale(LC_CTYPE, name);
    }
    ~character_locale() { std::setlocale(LC_CTYPE, previous_.c_str()); }

private:
    std::string previous_;
};

// Bytes and the display text they give.
struct text_case {
    std::string bytes;
    const wchar_t* text;
};

}  // namespace

TEST(foreign_text, reads_utf8_then_the_locale_then_byte_by_byte_and_never_loses_text)
{
    const character_locale plain_c("C");  // in which no byte above 127 converts
    const text_case cases[] = {
        {"plain", L"plain"},
        {"", L""},
        {"\xd0\x9b\xd0\xbe\xd0\xba-7 \xe2\x82\xac", L"\u041b\u043e\u043a-7 \u20ac"},
        {"caf\xe9 cr\xe8me", L"caf\u00e9 cr\u00e8me"}, // Latin-1
        {"bad \xff byte", L"bad \u00ff byte"},
        {"\xd0 cut short", L"\u00d0 cut short"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(foreign_text(c.bytes.c_str()).ToStdWstring(), c.text) << c.bytes;
    }
    EXPECT_EQ(foreign_text("\xff\xfe\0x", 4).ToStdWstring(), std::wstring(L"\u00ff\u00fe\0x", 4)) << "by length";
    EXPECT_EQ(foreign_text(nullptr), "");
}

// The coordinate server's names: UTF-8 when they are, else Windows-1251 whatever the locale (on
// Windows the ANSI code page: the Windows cases run this under a Russian locale).
TEST(foreign_text, peer_names_read_utf8_else_windows_1251)
{
    const character_locale plain_c("C");
    const text_case cases[] = {
        {"\xd0\x9f\xd0\xb5\xd1\x80\xd0\xbc\xd1\x8c", L"\u041f\u0435\u0440\u043c\u044c"}, // UTF-8
        {"\xcf\xe5\xf0\xec\xfc-\xca\xe8\xf0\xee\xe2", L"\u041f\u0435\u0440\u043c\u044c-\u041a\u0438\u0440\u043e\u0432"},
#ifndef _WIN32 // Windows' code page gives every byte a character
        {"\x98 \xcf", L"\u0098 \u00cf"}, // a byte that Windows-1251 lacks: byte by byte
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(peer_name_text(c.bytes).ToStdWstring(), c.text) << c.bytes;
}
