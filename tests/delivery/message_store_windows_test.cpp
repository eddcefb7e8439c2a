// The store's outbox under Windows' rules: a file that another program has open cannot be renamed
// (as it can on Linux), and narrow paths are in the ANSI code page unless converted on purpose.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_sink.hpp"
#include "file_contents.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"
#include "home_folders.hpp"

namespace fs = std::filesystem;

namespace {
std::vector<std::string> folder_contents()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs_path(delivery_folder())))
        names.push_back(entry.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}
}

TEST(message_store_windows_test, a_damaged_outbox_another_program_reads_stays_whole_until_a_start_after_it)
{
    temp_home home;
    event_sink sink;
    ASSERT_TRUE(delivery_folder().Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL));
    const wxString path = outbox_file_name().GetFullPath();
    const fs::path file = fs_path(outbox_file_name());
    const std::string damaged = "not a database, and long enough to be taken for one";
    write_file(file, damaged);
    // Open as a backup or scanning program has it: reading, and sharing no renaming.
    auto reader = std::make_unique<std::ifstream>(file, std::ios::binary);

    EXPECT_EQ(delivery_store(&sink, delivery_folder().GetPath()).open_outbox().failure,
              "Outbox " + path + " cannot be used, messages are kept in memory only: file is not a database");
    EXPECT_EQ(folder_contents(), (std::vector<std::string>{"outbox.sqlite", "outbox.sqlite.stale"}));
    EXPECT_EQ(file_bytes(file), damaged);

    reader.reset();
    const wxString failure = delivery_store(&sink, delivery_folder().GetPath()).open_outbox().failure;
    EXPECT_EQ(failure.rfind("Outbox " + path + " is damaged and was moved aside as ", 0), 0u) << failure;
    EXPECT_EQ(delivery_store(&sink, delivery_folder().GetPath()).open_outbox().failure, "");
}

TEST(message_store_windows_test, keeps_its_rows_under_a_home_folder_named_in_cyrillic)
{
    temp_home home;
    const std::string name = "\xd0\x92\xd0\xbe\xd0\xb4\xd0\xb8\xd1\x82\xd0\xb5\xd0\xbb\xd1\x8c"; // a user's name
    const fs::path user = fs::u8path(home.path()) / fs::u8path(name);
    fs::create_directory(user);
    wxSetEnv("USERPROFILE", wxString::FromUTF8(user.u8string())); // the agent's files live in the profile
    ASSERT_TRUE(delivery_folder().Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL));

    event_sink sink;
    delivery_store store(&sink, delivery_folder().GetPath());
    EXPECT_EQ(store.open_outbox().failure, "");
    store.hand_off({"kept"});
    EXPECT_EQ(outbox_rows(store), std::vector<std::string>{"kept"});
    EXPECT_TRUE(fs::exists(user / "Quillbank" / "routewarden" / "outbox.sqlite"));
}
