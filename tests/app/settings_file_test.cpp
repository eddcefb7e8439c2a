#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "app/agent_folders.hpp"
#include "app/platform.hpp"
#include "app/resolved_settings.hpp"
#include "app/settings_file.hpp"
#include "app/settings_keys.hpp"
#include "file_contents.hpp"
#include "temp_home.hpp"

namespace {
void set_modified(const wxFileName& file, const wxDateTime& time)
{
    ASSERT_TRUE(wxFileName(file).SetTimes(nullptr, &time, nullptr));
}

// Collects the library's own error messages while it lives; on the desktop each would become a box.
class captured_library_log : public wxLog {
public:
    captured_library_log() : previous_(wxLog::SetActiveTarget(this)) {}
    ~captured_library_log() override { wxLog::SetActiveTarget(previous_); }
    wxString text;

protected:
    void DoLogTextAtLevel(wxLogLevel, const wxString& message) override { text += message + "\n"; }

private:
    wxLog* previous_;
};

// A prepared settings folder under a fresh home, with the file opened once as at start.
struct settings_test : testing::Test {
    temp_home home;
    wxFileName file = user_folders().settings_file();
    wxDateTime seen;

    void SetUp() override
    {
        ASSERT_TRUE(create_settings_folder(file));
        open_settings(file, setting_defaults());
        set_modified(file, wxDateTime(1, wxDateTime::Jan, 2027, 8, 0, 0));
        seen = platform::modification_time(file);
    }
};
}

TEST(settings_file, first_start_creates_the_folder_and_writes_five_lines_in_order)
{
    temp_home home;
    const wxFileName file = user_folders().settings_file();
    EXPECT_EQ(file.GetFullPath(), wxString(home.path_of("Quillbank/config/.routewarden")));
    EXPECT_FALSE(file.DirExists());

    ASSERT_TRUE(create_settings_folder(file));
    EXPECT_TRUE(create_settings_folder(file)) << "an existing folder is not an error";
    auto config = open_settings(file, setting_defaults());

    EXPECT_EQ(file_text(fs_path(file)), std::string("tracking_server_address=") +
                                            settings::default_tracking_server_address +
                                            "\ncoordinate_server_address=127.0.0.1\ncoordinate_server_port=12500\n"
                                            "debug=0\ndevice=\n");
    EXPECT_EQ(config->Read(settings::coordinate_server_port), "12500");
}

TEST(settings_file, an_existing_file_is_read_as_it_is_and_missing_keys_take_the_defaults)
{
    temp_home home;
    const wxFileName file = user_folders().settings_file();
    ASSERT_TRUE(create_settings_folder(file));
    write_file(fs_path(file), "device=\xd0\x9b\xd0\xbe\xd0\xba-7\n");

    auto config = open_settings(file, setting_defaults());
    EXPECT_EQ(file_text(fs_path(file)), "device=\xd0\x9b\xd0\xbe\xd0\xba-7\n")
        << "no defaults written into an existing file";
    EXPECT_EQ(config->Read(settings::device), wxString::FromUTF8("\xd0\x9b\xd0\xbe\xd0\xba-7"));
    EXPECT_FALSE(resolve_settings({}, *config, setting_defaults()).telemetry.enabled);
    EXPECT_EQ(resolve_settings({}, *config, setting_defaults()).telemetry.port, 50000u);
}

TEST(settings_file, writing_the_same_values_again_leaves_the_file_untouched_and_new_ones_are_written)
{
    temp_home home;
    const wxFileName file = user_folders().settings_file();
    ASSERT_TRUE(create_settings_folder(file));
    open_settings(file, setting_defaults());
    const wxDateTime old_time(1, wxDateTime::Jan, 2027, 8, 0, 0);
    set_modified(file, old_time);

    auto config = open_settings(file, setting_defaults());
    write_setting(*config, settings::coordinate_server_port, "12500");
    write_setting(*config, settings::debug, false);
    config->Flush();
    EXPECT_EQ(file.GetModificationTime(), old_time);

    write_setting(*config, settings::debug, true);
    write_setting(*config, settings::telemetry, false);
    config->Flush();
    EXPECT_EQ(file_text(fs_path(file)).substr(file_text(fs_path(file)).find("debug=")),
              "debug=1\ndevice=\ntelemetry=0\n")
        << "a changed value is replaced in place and a new key appended";
}

TEST(settings_file, a_folder_that_cannot_be_made_is_reported_by_the_caller_alone)
{
    temp_home home;
    const wxFileName file = user_folders().settings_file();
    write_file(home.path_of("Quillbank/config"), "a file where the folder belongs");
    captured_library_log log;

    EXPECT_FALSE(create_settings_folder(file));
    auto config = open_settings(file, setting_defaults());
    EXPECT_EQ(resolve_settings({}, *config, setting_defaults()).telemetry.port, 50000u) << "the defaults apply";
    config->Flush();
    config.reset();
    EXPECT_EQ(log.text.ToStdString(), "");
}

TEST_F(settings_test, the_dialog_saves_its_changes_alone_into_the_file_as_it_is_on_disk)
{
    const std::string by_hand = "; kept by hand\ndebug=1\ndevice=old\nproxy_server_address=http://127.0.0.1:3128\n";
    auto edits = [](bool device_changed) {
        return std::vector<setting_edit>{
            {settings::device, wxString(device_changed ? "LOCO-7" : ""), device_changed},
            {settings::debug, false, false},
            {settings::telemetry, false, false},
            {settings::telemetry_port, wxString(settings::default_telemetry_port), false},
        };
    };
    write_file(fs_path(file), by_hand);
    const wxDateTime written(1, wxDateTime::Jan, 2027, 8, 2, 0);
    set_modified(file, written);

    save_setting_edits(file, setting_defaults(), edits(false));
    EXPECT_EQ(platform::modification_time(file), written) << "no change, no write";

    save_setting_edits(file, setting_defaults(), edits(true));
    EXPECT_EQ(file_text(fs_path(file)),
              "; kept by hand\ndebug=1\ndevice=LOCO-7\nproxy_server_address=http://127.0.0.1:3128\n"
              "telemetry=0\ntelemetry_port=50000\n");
}

TEST_F(settings_test, a_new_modification_time_is_a_change_once)
{
    set_modified(file, wxDateTime(1, wxDateTime::Jan, 2027, 8, 0, 5));
    EXPECT_TRUE(settings_file_changed(file, seen));
    EXPECT_EQ(seen, wxDateTime(1, wxDateTime::Jan, 2027, 8, 0, 5));
    EXPECT_FALSE(settings_file_changed(file, seen)) << "later events of the same save";
}

TEST_F(settings_test, two_saves_within_one_second_are_two_changes)
{
    write_file(fs_path(file), "device=1\n");
    ASSERT_TRUE(settings_file_changed(file, seen));
    // The file system's clock ticks in milliseconds; let it tick, but stay well inside the second.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    write_file(fs_path(file), "device=2\n");
    EXPECT_TRUE(settings_file_changed(file, seen));
}

TEST_F(settings_test, the_same_time_another_file_or_a_deleted_file_is_no_change)
{
    EXPECT_FALSE(settings_file_changed(file, seen));

    write_file(fs_path(file).parent_path() / "notes.txt", "x");
    EXPECT_FALSE(settings_file_changed(file, seen));

    ASSERT_TRUE(wxRemoveFile(file.GetFullPath()));
    EXPECT_FALSE(settings_file_changed(file, seen));
    EXPECT_EQ(seen, wxDateTime(1, wxDateTime::Jan, 2027, 8, 0, 0)) << "the values in effect stay";
}

TEST_F(settings_test, a_save_by_hand_is_read_by_a_new_configuration)
{
    auto before = open_settings(file, setting_defaults());
    write_file(fs_path(file), "coordinate_server_port=12600\ntelemetry=1\ntelemetry_port=50001\n");
    set_modified(file, wxDateTime(1, wxDateTime::Jan, 2027, 8, 1, 0));
    ASSERT_TRUE(settings_file_changed(file, seen));

    auto after = open_settings(file, setting_defaults());
    EXPECT_EQ(after->Read(settings::coordinate_server_port), "12600");
    EXPECT_EQ(after->Read(settings::coordinate_server_address, settings::default_coordinate_server_address),
              "127.0.0.1");
    EXPECT_TRUE(resolve_settings({}, *after, setting_defaults()).telemetry.enabled);
    EXPECT_EQ(resolve_settings({}, *after, setting_defaults()).telemetry.port, 50001u);
    EXPECT_EQ(before->Read(settings::coordinate_server_port), "12500") << "an object already made keeps its values";
}

TEST(settings_file, telemetry_port_takes_leading_digits_and_refuses_what_gives_no_port)
{
    temp_home home;
    const wxFileName file = user_folders().settings_file();
    ASSERT_TRUE(create_settings_folder(file));
    auto config = open_settings(file, setting_defaults());
    config->Write(settings::telemetry, true);
    // 0 stands for a refusal, which keeps 50000 and gives a row.
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"50000", 50000}, {"0", 0},   {"65535", 65535}, {"65536", 0},     {"70000", 0},
        {"abc", 0},       {"", 0},    {"-1", 0},        {"123abc", 123},
    };
    for (const auto& [text, port] : cases) {
        config->Write(settings::telemetry_port, text);
        const resolved_settings resolved = resolve_settings({}, *config, setting_defaults());
        EXPECT_EQ(resolved.telemetry.port, port == 0 ? 50000 : port) << '"' << text << '"';
        EXPECT_EQ(resolved.refused.size(), port == 0 ? 1u : 0u) << '"' << text << '"';
    }
}

TEST_F(settings_test, a_damaged_file_is_never_read_the_last_good_copy_stands_in_and_the_dialog_builds_on_it)
{
    const char* const damaged[] = {"", "; a comment alone\n", "[group]\n", "device=un", "debug=1\ndevice=un"};
    const std::string good = "debug=1\ndevice=LOCO-7\n";
    for (const bool with_copy : {true, false}) {
        for (const char* text : damaged) {
            SCOPED_TRACE(testing::Message() << '"' << text << "\" with_copy=" << with_copy);
            write_file(fs_path(file), good);
            open_settings(file, setting_defaults());
            EXPECT_EQ(file_text(fs_path(settings_copy_name(file))), good) << "a whole file read becomes the copy";
            if (!with_copy) {
                ASSERT_TRUE(wxRemoveFile(settings_copy_name(file).GetFullPath()));
            }
            write_file(fs_path(file), text);

            settings_found found = settings_found::whole;
            auto config = open_settings(file, setting_defaults(), &found);
            EXPECT_EQ(found, with_copy ? settings_found::damaged_copy_used : settings_found::damaged_no_copy);
            EXPECT_EQ(config->Read(settings::device), with_copy ? "LOCO-7" : "");
            EXPECT_EQ(config->ReadBool(settings::debug, false), with_copy);
            config.reset();
            EXPECT_EQ(file_text(fs_path(file)), text) << "left as found until something is saved";

            save_setting_edits(file, setting_defaults(),
                               {{settings::coordinate_server_port, wxString("12600"), true}});
            const std::string saved = file_text(fs_path(file));
            EXPECT_EQ(saved.find("device=un"), std::string::npos) << saved;
            EXPECT_NE(saved.find(with_copy ? "debug=1\ndevice=LOCO-7\n" : "debug=0\ndevice=\n"), std::string::npos)
                << saved;
            EXPECT_FALSE(wxFileName::FileExists(file.GetFullPath() + ".tmp"));
        }
    }
}
