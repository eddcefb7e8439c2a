#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/filefn.h>
#include <wx/utils.h>

#include "file_contents.hpp"
#include "log/log_cleanup.hpp"
#include "log/log_files.hpp"
#include "temp_home.hpp"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path, const wxDateTime& changed)
{
    write_file(path, "x");
    ASSERT_TRUE(wxFileName(path.string()).SetTimes(nullptr, &changed, nullptr));
}

}  // namespace

TEST(log_files, name_runs_time_and_process_together_matches_the_pattern_and_takes_the_next_free_second)
{
    EXPECT_EQ(log_file_name(1767596589u, 4242), "routewarden[17675965894242].html");
    EXPECT_EQ(log_file_name(4294967295u, 0), "routewarden[42949672950].html");
    EXPECT_TRUE(wxMatchWild(log_file_pattern, log_file_name(1, 2)));
    for (const char* other : {"routewarden.html", "xroutewarden[1].html", "routewarden[1].htm", "routewarden[1]_html"})
        EXPECT_FALSE(wxMatchWild(log_file_pattern, other)) << other;
    // A name already taken gives way to the next free second.
    temp_home home;
    write_file(home.path_of(log_file_name(100, 7).ToStdString()), "");
    fs::create_directory(home.path_of(log_file_name(101, 7).ToStdString()));
    EXPECT_EQ(free_log_file(home.path(), 100, 7), wxFileName(home.path(), log_file_name(102, 7)));
    EXPECT_EQ(free_log_file(home.path(), 100, 8), wxFileName(home.path(), log_file_name(100, 8))) << "another process";
}

TEST(log_files, clean_up_removes_only_matching_plain_files_older_than_seven_days)
{
    temp_home home;
    const fs::path folder = home.path();
    const wxDateTime now(wxDateTime(5, wxDateTime::Jan, 2027, 7, 3, 9));
    const wxTimeSpan week = wxTimeSpan::Seconds(604800);
    touch(folder / "routewarden[1].html", now - week);
    touch(folder / "routewarden[2].html", now - week - wxTimeSpan::Seconds(1));
    touch(folder / "notes.html", now - week * 10);
    fs::create_directory(folder / "routewarden[3].html");
    fs::create_directory(folder / "sub");
    touch(folder / "sub" / "routewarden[4].html", now - week * 10);
    touch(folder / "routewarden[5].html", now - week * 10);

    int clock_reads = 0;
    remove_old_logs(folder.string(), log_file_pattern, wxFileName((folder / "routewarden[5].html").string()),
                    [&] { ++clock_reads; return now; });

    EXPECT_TRUE(fs::exists(folder / "routewarden[1].html"));
    EXPECT_FALSE(fs::exists(folder / "routewarden[2].html"));
    EXPECT_TRUE(fs::exists(folder / "notes.html"));
    EXPECT_TRUE(fs::is_directory(folder / "routewarden[3].html"));
    EXPECT_TRUE(fs::exists(folder / "sub" / "routewarden[4].html"));
    EXPECT_TRUE(fs::exists(folder / "routewarden[5].html")) << "the file being written";
    EXPECT_EQ(clock_reads, 2);  // once per listed file but the one kept
}

TEST(log_files, clean_up_counts_whole_seconds_of_a_clock_that_has_milliseconds)
{
    temp_home home;
    const fs::path folder = home.path();
    const wxDateTime now(5, wxDateTime::Jan, 2027, 7, 3, 9, 900);
    const wxDateTime now_second(5, wxDateTime::Jan, 2027, 7, 3, 9);
    const wxTimeSpan week = wxTimeSpan::Seconds(604800);
    touch(folder / "routewarden[1].html", now_second - week);  // 604,800.9 s by the clock: seven days
    touch(folder / "routewarden[2].html", now_second - week - wxTimeSpan::Seconds(1));

    remove_old_logs(folder.string(), log_file_pattern, wxFileName(), [&] { return now; });

    EXPECT_TRUE(fs::exists(folder / "routewarden[1].html"));
    EXPECT_FALSE(fs::exists(folder / "routewarden[2].html"));
}

TEST(log_files, clean_up_leaves_hidden_files_even_when_the_pattern_matches_them)
{
    temp_home home;
    const fs::path folder = home.path();
    const wxDateTime now = wxDateTime::Now();
    touch(folder / ".old.html", now - wxTimeSpan::Days(30));
    touch(folder / "old.html", now - wxTimeSpan::Days(30));

    remove_old_logs(folder.string(), "*.html", wxFileName(), [&] { return now; });

    EXPECT_TRUE(fs::exists(folder / ".old.html"));
    EXPECT_FALSE(fs::exists(folder / "old.html"));
}

TEST(log_files, clean_up_runs_at_once_and_then_every_period_sparing_the_current_file_of_the_time)
{
    temp_home home;
    const auto old_file = [&](const char* name) {
        touch(home.path_of(name), wxDateTime::Now() - wxTimeSpan::Days(30));
        return fs::path(home.path_of(name));
    };
    const fs::path gone_at_start = old_file("routewarden[1].html"), first = old_file("routewarden[2].html");
    fs::path current = first;
    const std::unique_ptr<wxEventLoopBase> loop(wxAppConsole::GetInstance()->GetTraits()->CreateEventLoop());
    const wxEventLoopActivator active(loop.get());
    const log_cleanup cleanup(home.path(), [&] { return wxFileName(current.string()); }, std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(gone_at_start)) << "no clean-up at start";
    EXPECT_TRUE(fs::exists(first)) << "the current file was deleted at start";
    // The timer runs with the loop; each clean-up asks for the current file anew.
    const fs::path gone_later = old_file("routewarden[3].html");
    current = old_file("routewarden[4].html");
    const wxLongLong deadline = wxGetLocalTimeMillis() + 10000;
    while ((fs::exists(gone_later) || fs::exists(first)) && wxGetLocalTimeMillis() < deadline)
        loop->DispatchTimeout(100);
    EXPECT_FALSE(fs::exists(gone_later) || fs::exists(first)) << "no clean-up within 10 s after start";
    EXPECT_TRUE(fs::exists(current)) << "the current file was deleted";
}

TEST(log_files, prepare_creates_the_folder_with_its_parents)
{
    temp_home home;
    const wxFileName file = prepare_log_file(home.path_of("Quillbank/log"));

    EXPECT_EQ(file.GetPath(), wxString(home.path_of("Quillbank/log")));
    EXPECT_TRUE(wxFileName::DirExists(file.GetPath()));
    EXPECT_TRUE(wxMatchWild(log_file_pattern, file.GetFullName()));
    EXPECT_TRUE(file.GetFullName().EndsWith(wxString::Format("%lu].html", wxGetProcessId())));
    EXPECT_FALSE(file.FileExists());  // the view creates it
}

TEST(log_files, prepare_fails_with_the_folder_in_the_message)
{
    temp_home home;
    write_file(home.path_of("Quillbank"), "a file where the folder belongs");
    try {
        prepare_log_file(home.path_of("Quillbank/log"));
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Error creating log dir [" + home.path_of("Quillbank/log") + "]");
    }
}

TEST(log_files, recent_are_a_weeks_newest_first_up_to_the_limit_without_a_gap_and_always_the_current)
{
    temp_home home;
    const fs::path folder = home.path();
    const wxDateTime now(5, wxDateTime::Jan, 2027, 7, 3, 9);
    const auto log = [&](const char* name, std::size_t size, const wxTimeSpan& age) {
        const wxFileName file((folder / name).string());
        const wxDateTime changed = now - age;
        write_file(folder / name, std::string(size, 'x'));
        EXPECT_TRUE(file.SetTimes(nullptr, &changed, nullptr));
        return file;
    };
    const wxFileName current = log("routewarden[9].html", 60, wxTimeSpan::Days(9)); // however old
    const wxFileName hour = log("routewarden[8].html", 30, wxTimeSpan::Hours(1));
    const wxFileName week = log("routewarden[7].html", 10, wxTimeSpan::Days(7));
    log("routewarden[6].html", 1, wxTimeSpan::Days(7) + wxTimeSpan::Seconds(1));
    log("notes.html", 1, wxTimeSpan::Hours(1));

    EXPECT_EQ(recent_logs(folder.string(), current, 100, now), (std::vector<wxFileName>{current, hour, week}));
    EXPECT_EQ(recent_logs(folder.string(), current, 99, now), (std::vector<wxFileName>{current, hour}))
        << "a file that would pass the limit ends the list";
    EXPECT_EQ(recent_logs(folder.string(), current, 70, now), (std::vector<wxFileName>{current}))
        << "so does one before a smaller one that fits";
    EXPECT_EQ(recent_logs(folder.string(), current, 10, now), (std::vector<wxFileName>{current}));
    EXPECT_EQ(recent_logs(folder.string(), wxFileName(), 40, now), (std::vector<wxFileName>{hour, week}))
        << "without a current file";
}
