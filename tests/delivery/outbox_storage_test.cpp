// The outbox on storage that refuses it: a small file system of the test's own, in a mount
// namespace private to the test's thread, read-only or full.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "worker_base/thread_events.hpp"

#include "event_sink.hpp"
#include "eventually.hpp"
#include "shared_store.hpp"
#include "temp_home.hpp"
#include "home_folders.hpp"

namespace fs = std::filesystem;

namespace {
// A tmpfs of the given size at the folder, seen only by this thread while the object lives.
class private_tmpfs {
public:
    private_tmpfs(const std::string& folder, const std::string& size) : folder_(folder)
    {
        fs::create_directories(folder);
        home_ns_ = open("/proc/thread-self/ns/mnt", O_RDONLY);
        ok_ = home_ns_ >= 0 && unshare(CLONE_FS | CLONE_NEWNS) == 0 &&
              mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
              mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~private_tmpfs()
    {
        if (ok_)
            umount2(folder_.c_str(), MNT_DETACH);
        if (home_ns_ >= 0) {
            if (setns(home_ns_, CLONE_NEWNS) != 0)
                std::abort();
            close(home_ns_);
        }
    }
    bool ok() const { return ok_; }
    bool make_read_only() const
    {
        return mount("tmpfs", folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string folder_;
    int home_ns_ = -1;
    bool ok_ = false;
};

class outbox_storage_test : public testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to mount a file system of its own";
        ASSERT_TRUE(disk_.ok()) << "cannot mount a tmpfs in a private mount namespace";
    }

    // The disk is where the store keeps its outbox.
    std::string path() const { return home_.path_of("Quillbank/routewarden/outbox.sqlite"); }

    temp_home home_;
    private_tmpfs disk_{home_.path_of("Quillbank/routewarden"), "256k"};
};

// The reason SQLite gives when opening fails.
std::string open_failure(const std::string& path)
{
    try {
        outbox box(path);
    } catch (const outbox_error& e) {
        EXPECT_FALSE(e.corrupt());
        return e.what();
    }
    return "opened";
}
}

TEST_F(outbox_storage_test, a_read_only_folder_or_file_is_reported_when_opening)
{
    {
        outbox box(path());
        box.append("kept");
    }
    ASSERT_TRUE(disk_.make_read_only());
    EXPECT_EQ(open_failure(path()), "attempt to write a readonly database");
    EXPECT_EQ(open_failure(home_.path_of("Quillbank/routewarden/other.sqlite")), "unable to open database file");
}

TEST_F(outbox_storage_test, a_full_disk_fails_the_append_and_keeps_the_rows_before_it)
{
    outbox box(path());
    const std::string message(16 * 1024, 'm');
    std::vector<std::string> appended;
    try {
        for (int i = 0; i < 100; ++i) {
            box.append(message + std::to_string(i));
            appended.push_back(message + std::to_string(i));
        }
        FAIL() << "a 256 KiB disk took 1.6 MB";
    } catch (const outbox_error& e) {
        EXPECT_STREQ(e.what(), "database or disk is full");
    }
    EXPECT_TRUE(box.load(100) == appended) << "the rows before the failure changed";
}

TEST_F(outbox_storage_test, a_disk_that_fills_during_the_run_gives_one_row_loses_no_message_and_heals)
{
    event_sink sink;
    // Longer than the filling takes: the disk stays full meanwhile.
    delivery_store store(&sink, delivery_folder().GetPath(), std::chrono::seconds(2));
    ASSERT_EQ(store.open_outbox().failure, "");
    std::vector<std::string> produced;
    for (int i = 0; i < 30; ++i) {
        produced.push_back(std::string(16 * 1024, 'm') + std::to_string(i));
        store.hand_off({produced.back()});
    }
    // The newest ten, as the rule keeps them.
    produced.erase(produced.begin(), produced.end() - max_kept_messages);
    EXPECT_TRUE(store.messages() == produced) << "a message was lost from memory";
    std::vector<wxString> errors;
    for (const reported_event& e : sink.events())
        if (e.type == EVT_LOG_ERROR)
            errors.push_back(e.text);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Outbox " + wxString::FromUTF8(path()) +
                             " cannot be used, messages are kept in memory only: database or disk is full");

    // Once the store fits again, a change after the heal interval writes all of it into a fresh outbox.
    sink.clear();
    for (int i = 0; i < 8; ++i)
        store.remove_delivered(store.head()->id);
    ASSERT_TRUE(eventually([&store] { return store.hand_off({}), store.durable(); }, std::chrono::seconds(20)))
        << "the outbox was not used again";
    const auto events = sink.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].text, "Outbox " + wxString::FromUTF8(path()) + " is used again");
    EXPECT_TRUE(outbox_rows(store) == store.messages()) << "the healed outbox differs from the store";
}
