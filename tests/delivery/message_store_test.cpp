// The store with its outbox: what a start finds, and an outbox it cannot use.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "worker_base/thread_events.hpp"

#include "event_sink.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {
strings numbered(int from, int to)
{
    strings messages;
    for (int i = from; i <= to; ++i)
        messages.push_back("message " + std::to_string(i));
    return messages;
}

std::string outbox_path()
{
    return outbox_file_name().GetFullPath().ToStdString(wxConvUTF8);
}

class message_store_test : public testing::Test {
protected:
    void SetUp() override
    {
        reset_shared_store();
        ASSERT_TRUE(delivery_folder().Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL));
    }
    void TearDown() override { reset_shared_store(); }

    void append(const std::string& message)
    {
        wxMutexLocker lock(message_store_mutex);
        append_message(message, &sink_);
    }

    temp_home home_;
    event_sink sink_;
};
}

TEST_F(message_store_test, a_start_restores_the_newest_ten_in_order_and_wakes_the_sender)
{
    {
        outbox left(outbox_path());
        for (const auto& message : numbered(1, 12))
            left.append(message);
    }
    const outbox_opening opening = open_message_outbox();
    EXPECT_EQ(opening.failure, "");
    EXPECT_EQ(opening.restored, 10u);
    EXPECT_EQ(stored_messages(), numbered(3, 12));
    unsigned int posted = 0;
    EXPECT_EQ(notification_queue.ReceiveTimeout(0, posted), wxMSGQUEUE_NO_ERROR);
    EXPECT_EQ(posted, 10u);

    // The outbox follows every change of the store, row for row.
    append("message 13");
    {
        wxMutexLocker lock(message_store_mutex);
        remove_head_message(&sink_);
        trim_message_store(&sink_);
    }
    EXPECT_EQ(stored_messages(), numbered(4, 13));
    EXPECT_EQ(outbox_rows(), numbered(4, 13));
    EXPECT_TRUE(sink_.events().empty());

    // An empty outbox: no row to write, nothing to send.
    reset_shared_store();
    { outbox(outbox_path()).trim(0); }
    EXPECT_EQ(open_message_outbox().restored, 0u);
    EXPECT_EQ(notification_queue.ReceiveTimeout(0, posted), wxMSGQUEUE_TIMEOUT);
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
        reset_shared_store();
        fs::remove(fs::u8path(outbox_path()));
        std::unique_ptr<outbox> holder;
        if (bad.corrupt)
            std::ofstream(fs::u8path(outbox_path()), std::ios::binary) << damaged;
        else
            holder = std::make_unique<outbox>(outbox_path());

        const outbox_opening opening = open_message_outbox();
        EXPECT_EQ(opening.restored, 0u);
        EXPECT_EQ(opening.failure.rfind("Outbox " + outbox_file_name().GetFullPath() + bad.row, 0), 0u)
            << opening.failure;
        append("kept in memory");
        EXPECT_EQ(stored_messages(), strings{"kept in memory"});
        EXPECT_TRUE(sink_.events().empty()) << "a second row for the same outbox";

        // The next start tries again: a fresh outbox beside the damaged one, or the freed one.
        holder.reset();
        reset_shared_store();
        EXPECT_EQ(open_message_outbox().failure, "");
        append("kept on disk");
        EXPECT_EQ(outbox_rows(), strings{"kept on disk"});
    }
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(fs::u8path(delivery_folder().GetFullPath().ToStdString(wxConvUTF8))))
        if (entry.path().filename().u8string().rfind("outbox.sqlite.corrupt-", 0) == 0)
            aside.push_back(entry.path().u8string());
    ASSERT_EQ(aside.size(), 1u);
    std::ifstream in(fs::u8path(aside[0]), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
}
