#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <wx/string.h>
#include <wx/utils.h>

#include "app/platform.hpp"

TEST(platform, narrow_texts_keep_characters_beyond_ascii)
{
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    wxSetEnv("LC_ALL", "C.UTF-8");
    platform::use_system_text_encoding();

    // As an exception's description makes the round trip from a translated text and back.
    const wxString text = wxString::FromUTF8("\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0 [/home/\xc3\xa9]");
    const std::string narrow = text.ToStdString();
    EXPECT_EQ(wxString(narrow.c_str()), text);

    wxUnsetEnv("LC_ALL");
    std::setlocale(LC_CTYPE, previous.c_str());
}
