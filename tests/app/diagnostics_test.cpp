#include <chrono>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <wx/utils.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include "app/diagnostics.hpp"
#include "file_contents.hpp"
#include "log/log_page.hpp"
#include "temp_home.hpp"

namespace fs = std::filesystem;

namespace {
// Written with the modification time this many seconds back.
void write_aged(const std::string& path, const std::string& bytes, int age)
{
    write_file(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age));
}

std::map<std::string, std::string> zip_entries(const wxFileName& zip)
{
    wxFFileInputStream file(zip.GetFullPath(), "rb");
    wxZipInputStream in(file);
    std::map<std::string, std::string> entries;
    while (std::unique_ptr<wxZipEntry> entry{in.GetNextEntry()}) {
        std::string bytes;
        char buffer[65536];
        while (in.Read(buffer, sizeof buffer).LastRead() > 0)
            bytes.append(buffer, in.LastRead());
        entries[entry->GetName(wxPATH_UNIX).utf8_string()] = bytes;
    }
    return entries;
}
}

TEST(diagnostics, one_zip_holds_the_two_latest_runs_logs_the_settings_values_and_newest_dumps)
{
    const temp_home home;
    const std::string log = "Quillbank/log/", dumps = "Quillbank/routewarden/";
    // A run before the previous one, the previous run rolled over into a second file, and this run.
    write_aged(home.path_of(log + "routewarden[1700000000111].html"), "older run", 3000);
    write_aged(home.path_of(log + "routewarden[1700001000222].html"), std::string(log_file_limit + 1, 'r'), 2000);
    write_aged(home.path_of(log + "routewarden[1700001500222].html"), "previous run, second file", 1000);
    write_file(home.path_of(log + "routewarden[1700002000333].html"), "this run");
    write_file(home.path_of("Quillbank/config/.routewarden"), "device=Lok-7\n");
    for (int stamp = 1000; stamp < 1025; ++stamp) {
        write_file(home.path_of(dumps + "msg_" + std::to_string(stamp) + ".json"), "m" + std::to_string(stamp));
        write_file(home.path_of(dumps + "res_" + std::to_string(stamp) + ".json"), "r" + std::to_string(stamp));
    }
    write_file(home.path_of(dumps + "outbox.sqlite"), "not a dump");
    fs::create_directories(home.path_of("out"));

    diagnostics_content content{wxFileName(home.path_of(log + "routewarden[1700002000333].html")),
                                wxFileName(home.path_of("Quillbank/config/.routewarden")),
                                wxFileName::DirName(home.path_of(dumps)),
                                {{"device", "Lok-7", "machine preset"}},
                                3,
                                false};
    const wxDateTime when(7, wxDateTime::Dec, 2026, 17, 16, 35);
    const diagnostics_outcome saved = save_diagnostics(home.path_of("out"), content, when);
    ASSERT_EQ(saved.failure, "");
    EXPECT_EQ(saved.zip.GetFullName(), diagnostics_file_name(wxGetHostName(), when));
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path_of("out")), {}), 1) << "a temporary file was left";

    const auto entries = zip_entries(saved.zip);
    std::map<std::string, std::string> expected_files = {
        {"settings/.routewarden", "Quillbank/config/.routewarden"},
        {"log/routewarden[1700002000333].html", log + "routewarden[1700002000333].html"},
        {"log/routewarden[1700001500222].html", log + "routewarden[1700001500222].html"},
        {"log/routewarden[1700001000222].html", log + "routewarden[1700001000222].html"}};
    for (int stamp = 1005; stamp < 1025; ++stamp)
        for (const char* kind : {"msg_", "res_"}) {
            const std::string name = kind + std::to_string(stamp) + ".json";
            expected_files["dumps/" + name] = dumps + name;
        }
    EXPECT_EQ(entries.size(), expected_files.size() + 2) << "about.txt, values.txt and the files only";
    for (const auto& [entry, source] : expected_files) {
        ASSERT_EQ(entries.count(entry), 1u) << entry << " missing";
        EXPECT_TRUE(entries.at(entry) == file_bytes(home.path_of(source))) << entry << " differs from " << source;
    }
    EXPECT_NE(entries.at("about.txt").find("Messages waiting in the outbox: 3\nOutbox: in memory only\n"),
              std::string::npos);
    EXPECT_EQ(entries.at("values.txt"), "key\tvalue\tsource\ndevice\tLok-7\tmachine preset\n");

    // A file gone meanwhile is left out; a folder that cannot be written is a failure with no file.
    fs::remove(home.path_of("Quillbank/config/.routewarden"));
    const diagnostics_outcome again = save_diagnostics(home.path_of("out"), content, when + wxTimeSpan::Second());
    ASSERT_EQ(again.failure, "");
    EXPECT_EQ(zip_entries(again.zip).count("settings/.routewarden"), 0u);
    const diagnostics_outcome failed = save_diagnostics(home.path_of("missing"), content, when);
    EXPECT_NE(failed.failure.find(home.path_of("missing")), wxString::npos) << failed.failure;
    EXPECT_FALSE(fs::exists(home.path_of("missing")));
}
