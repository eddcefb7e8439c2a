#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <wx/string.h>
#include <wx/utils.h>

#include "app/command_line.hpp"
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

// An argument the program does not know never starts the agent: an installer's typing error would
// leave it running as the system account, holding up the install.
TEST(command_line, only_known_commands_run)
{
    const auto run = [](std::initializer_list<const char*> words) {
        wxArrayString arguments;
        for (const char* word : words)
            arguments.push_back(word);
        return run_command(arguments);
    };
    EXPECT_EQ(run({"routewarden"}), std::nullopt);
    EXPECT_EQ(run({"routewarden", "--close-al"}), 2);
    EXPECT_EQ(run({"routewarden", "--close-all", "--now"}), 2);
    EXPECT_EQ(run({"routewarden", "--start-in-sessions", "--close-all"}), 2);
    EXPECT_EQ(run({"routewarden", "--diagnostics"}), 2) << "no folder";
#ifndef __WINDOWS__
    EXPECT_EQ(run({"routewarden", "--close-all"}), 1);
#endif
}
