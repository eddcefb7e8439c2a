// The store with its outbox: what a start finds, and an outbox it cannot use.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/log.h>

#include "worker_base/thread_events.hpp"

#include "event_sink.hpp"
#include "file_contents.hpp"
#include "numbered.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"
#include "home_folders.hpp"

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {
std::string outbox_path()
{
    return outbox_file_name().GetFullPath().ToStdString(wxConvUTF8);
}

// In the place of the agent's own log target, which makes rows of these: with the library's own
// target, a worker's would open a box.
struct library_messages : wxLog {
    library_messages() : previous(wxLog::SetActiveTarget(this)) {}
    ~library_messages() override { wxLog::SetActiveTarget(previous); }
    void DoLogText(const wxString& text) override { texts.push_back(text); }
    wxLog* previous;
    std::vector<wxString> texts;
};

class message_store_test : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(delivery_folder().Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)); }

    // A new store, as at the next start; a zero heal interval tries the outbox at every change.
    delivery_store& restart(std::chrono::steady_clock::duration heal_interval = std::chrono::minutes(1))
    {
        store_ = std::make_unique<delivery_store>(&sink_, delivery_folder().GetPath(), heal_interval);
        return *store_;
    }

    temp_home home_;
    event_sink sink_;
    std::unique_ptr<delivery_store> store_;
};
}

TEST_F(message_store_test, a_start_restores_the_newest_ten_in_order_and_wakes_the_sender)
{
    {
        outbox left(outbox_path());
        for (const auto& message : numbered(1, 12))
            left.append(message);
    }
    delivery_store& store = restart();
    const outbox_opening opening = store.open_outbox();
    EXPECT_EQ(opening.failure, "");
    EXPECT_EQ(opening.restored, 10u);
    EXPECT_EQ(store.messages(), numbered(3, 12));
    unsigned int posted = 0;
    EXPECT_TRUE(store.next_notification(posted, 0));
    EXPECT_EQ(posted, 10u);

    // The outbox follows every change of the store, row for row. The hand-off keeps the rule
    // itself; a head that it dropped while it was in flight takes nothing else with it when it is
    // delivered.
    const std::optional<head_message> in_flight = store.head();
    ASSERT_TRUE(in_flight);
    EXPECT_EQ(in_flight->body, "message 3");
    EXPECT_EQ(store.hand_off(numbered(13, 14)), 10u);
    EXPECT_EQ(store.remove_delivered(in_flight->id), 10u);
    EXPECT_EQ(store.remove_delivered(store.head()->id), 9u);
    EXPECT_EQ(store.messages(), numbered(6, 14));
    EXPECT_EQ(outbox_rows(store), numbered(6, 14));
    ASSERT_EQ(sink_.count(EVT_WORKER_FACT), 1u);
    EXPECT_EQ(sink_.events()[0].field, static_cast<int>(worker_fact::kind::dropped));
    EXPECT_EQ(sink_.events()[0].number, 2);

    // An empty outbox: no row to write, nothing to send.
    { outbox(outbox_path()).trim(0); }
    EXPECT_EQ(restart().open_outbox().restored, 0u);
    EXPECT_FALSE(store_->next_notification(posted, 0));
}

TEST_F(message_store_test, an_outbox_it_cannot_use_gives_one_row_and_the_store_works_in_memory)
{
    const std::string damaged = "not a database, and long enough to be taken for one";
    struct bad_outbox {
        const char* name;
        bool corrupt;
        std::string row; // the start of the error row, after the file's path
    };
    for (const bad_outbox& bad : {bad_outbox{"damaged", true, " is damaged and was moved aside as "},
                                  bad_outbox{"locked", false, " cannot be used, messages are kept in memory only: "
                                                              "database is locked"}}) {
        SCOPED_TRACE(bad.name);
        sink_.clear();
        fs::remove(fs::u8path(outbox_path()));
        std::unique_ptr<outbox> holder;
        if (bad.corrupt) {
            write_file(fs::u8path(outbox_path()), damaged);
        } else {
            holder = std::make_unique<outbox>(outbox_path());
            holder->append("left by the run before");
        }

        delivery_store& store = restart();
        const outbox_opening opening = store.open_outbox();
        EXPECT_EQ(opening.restored, 0u);
        EXPECT_EQ(opening.failure.rfind("Outbox " + outbox_file_name().GetFullPath() + bad.row, 0), 0u)
            << opening.failure;
        store.hand_off({"kept in memory"});
        EXPECT_EQ(store.messages(), strings{"kept in memory"});
        EXPECT_FALSE(store.durable());
        EXPECT_EQ(sink_.count(EVT_LOG_ERROR), 0u) << "a second row for the same outbox";

        // The next start tries again: a fresh outbox beside the damaged one, or the freed one,
        // whose row is older than what the run without it sent and so is not sent after it.
        holder.reset();
        const outbox_opening next = restart().open_outbox();
        EXPECT_EQ(next.failure, "");
        EXPECT_EQ(next.restored, 0u);
        EXPECT_EQ(next.stale, bad.corrupt ? 0u : 1u);
        store_->hand_off({"kept on disk"});
        EXPECT_EQ(outbox_rows(*store_), strings{"kept on disk"});
    }
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(fs_path(delivery_folder())))
        if (entry.path().filename().u8string().rfind("outbox.sqlite.corrupt-", 0) == 0)
            aside.push_back(entry.path().u8string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(file_bytes(fs::u8path(aside[0])), damaged);
}

TEST_F(message_store_test, an_outbox_freed_during_the_run_takes_the_whole_store_and_is_trusted_at_the_next_start)
{
    const wxString used_again = "Outbox " + outbox_file_name().GetFullPath() + " is used again";
    const fs::path folder = fs_path(delivery_folder());
    const fs::path mark = fs::u8path(outbox_path() + ".stale");
    const strings all = {"left by the run before", "one", "two"}, made = {"one", "two"};
    struct heal_case {
        const char* name;
        bool sent_first, folder_gone, mark_held;
        strings rows;
        std::vector<wxString> infos;
    };
    for (const heal_case& c : {
             heal_case{"nothing sent yet: the last run's row goes first", false, false, false, all,
                       {restored_row(1), used_again}},
             heal_case{"a transfer began: the last run's row is older", true, false, false, made,
                       {stale_row(1), used_again}},
             heal_case{"the folder was deleted meanwhile", false, true, false, made, {used_again}},
             heal_case{"a stale mark that cannot be deleted", false, false, true, all, {restored_row(1), used_again}},
         }) {
        SCOPED_TRACE(c.name);
        sink_.clear();
        store_.reset(); // Windows deletes no file that is open
        fs::remove_all(folder);
        fs::create_directories(folder);
        auto holder = std::make_unique<outbox>(outbox_path());
        holder->append("left by the run before");
        delivery_store& store = restart(std::chrono::seconds(0));
        EXPECT_NE(store.open_outbox().failure, "");
        store.hand_off({"one"}); // still held: the attempt fails quietly
        if (c.sent_first)
            store.head();
        holder.reset();
        if (c.folder_gone)
            fs::remove_all(folder);
        if (c.mark_held) {
            fs::remove(mark);
            fs::create_directories(mark / "held");
        }
        const library_messages library;
        store.hand_off({"two"});
        EXPECT_TRUE(store.durable());
        EXPECT_EQ(sink_.texts(EVT_LOG_INFO), c.infos);
        EXPECT_EQ(sink_.count(EVT_WORKER_FACT), 2u) << "memory only, and back";
        EXPECT_EQ(store.messages(), c.rows);
        EXPECT_EQ(outbox_rows(store), c.rows);
        EXPECT_EQ(library.texts, std::vector<wxString>{}) << "the agent would show these in a box";
        if (c.mark_held)
            continue;
        const outbox_opening next = restart().open_outbox();
        EXPECT_EQ(next.restored, c.rows.size());
        EXPECT_EQ(next.stale, 0u);
    }
}
