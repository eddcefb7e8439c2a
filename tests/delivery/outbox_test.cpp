// The outbox file on its own: order, bytes, restore, and the files it cannot use.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "delivery/outbox.hpp"
#include "file_contents.hpp"
#include "numbered.hpp"
#include "temp_home.hpp"

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {
class outbox_test : public testing::Test {
protected:
    std::string path() const { return home_.path_of("outbox.sqlite"); }

    temp_home home_;
};
}

TEST_F(outbox_test, keeps_the_exact_bytes_in_order_through_remove_trim_and_reopen)
{
    const strings kept = {std::string("a\0b\xff\r\n", 6), "", "{\n    \"km\": 12\n}\n", "four", "five"};
    {
        outbox box(path());
        for (const auto& message : kept)
            box.append(message);
        EXPECT_EQ(box.load(10), kept);
        EXPECT_EQ(box.load(2), (strings{"four", "five"}));

        box.remove_head();
        EXPECT_EQ(box.load(10), strings(kept.begin() + 1, kept.end()));
        box.trim(2);
        EXPECT_EQ(box.load(10), (strings{"four", "five"}));
        box.trim(5); // fewer than that: nothing goes
        box.append("six");
        EXPECT_EQ(box.load(10), (strings{"four", "five", "six"}));
    }
    outbox reopened(path());
    EXPECT_EQ(reopened.load(10), (strings{"four", "five", "six"}));
    // Emptied, it takes new rows as before.
    reopened.trim(0);
    reopened.remove_head(); // on an empty outbox: nothing to do
    reopened.append("seven");
    EXPECT_EQ(reopened.load(10), strings{"seven"});
}

TEST_F(outbox_test, gives_back_the_newest_ten_of_fifteen_oldest_first)
{
    {
        outbox box(path());
        for (const auto& message : numbered(1, 15))
            box.append(message);
    }
    EXPECT_EQ(outbox(path()).load(10), numbered(6, 15));
}

TEST_F(outbox_test, a_damaged_file_is_reported_moved_aside_whole_and_replaced_by_a_fresh_one)
{
    for (const std::string& damage : {std::string("not a database at all, but long enough to be read"),
                                      std::string("SQLite format 3") + std::string(1, '\0') + std::string(4000, 'x')}) {
        SCOPED_TRACE(damage.substr(0, 15));
        write_file(fs::u8path(path()), damage);
        try {
            outbox box(path());
            ADD_FAILURE() << "a damaged file was opened";
        } catch (const outbox_error& e) {
            EXPECT_TRUE(e.corrupt()) << e.what();
        }
        const fs::path aside = fs::u8path(outbox::set_aside(path(), "20261207-171500"));
        EXPECT_EQ(aside.filename().u8string().rfind("outbox.sqlite.corrupt-20261207-171500", 0), 0u) << aside;
        EXPECT_EQ(file_bytes(aside), damage);
        EXPECT_FALSE(fs::exists(fs::u8path(path())));

        outbox fresh(path());
        fresh.append("one");
        EXPECT_EQ(fresh.load(10), strings{"one"});
    }
    // The second file of the same second did not replace the first.
    EXPECT_TRUE(fs::exists(fs::u8path(path() + ".corrupt-20261207-171500")));
    EXPECT_TRUE(fs::exists(fs::u8path(path() + ".corrupt-20261207-171500-2")));
}

TEST_F(outbox_test, a_file_that_another_connection_holds_is_reported_as_locked_within_seconds)
{
    outbox holder(path());
    holder.append("held");
    const auto start = std::chrono::steady_clock::now();
    try {
        outbox second(path());
        ADD_FAILURE() << "a second connection got the file";
    } catch (const outbox_error& e) {
        EXPECT_FALSE(e.corrupt());
        EXPECT_STREQ(e.what(), "database is locked");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(holder.load(10), strings{"held"});
}
