// The main window inside the test process, on the desktop that the test runs on: what the
// workers' thread events and a throwing event handler leave in the log and the status bar.
#include <stdexcept>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dir.h>
#include <wx/evtloop.h>
#include <wx/statusbr.h>

#include "app/application.hpp"
#include "app/routewarden_frame.hpp"
#include "file_contents.hpp"
#include "temp_home.hpp"
#include "worker_base/thread_events.hpp"
#include "worker_base/worker_thread.hpp"

// The application object without its start-up: the test makes the window itself.
wxIMPLEMENT_APP_NO_MAIN(routewarden);

namespace {
struct frame_test : testing::Test {
    temp_home home;
    // Active, not running: the window's queued calls and the folder watcher need a loop.
    wxGUIEventLoop loop;
    wxEventLoopActivator active{&loop};
    routewarden_frame* frame = new routewarden_frame("Routewarden", wxDefaultPosition, wxSize(800, 600));

    ~frame_test() override { delete frame; }

    std::string log_text() const
    {
        wxArrayString files;
        wxDir::GetAllFiles(wxString(home.path() + "/Quillbank/log"), &files);
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : file_text(fs_path(files[0]));
    }
};
}

TEST_F(frame_test, worker_texts_are_shown_as_plain_text)
{
    queue_log_info(frame, "Service address: http://host/a?b=1&c=<2>");
    queue_log_error(frame, "<b>not bold</b>");
    wxTheApp->ProcessPendingEvents();

    const std::string log = log_text();
    EXPECT_NE(log.find("<font color='blue'>Service address: http://host/a?b=1&amp;c=&lt;2&gt;</font>"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("<font color='red'>&lt;b&gt;not bold&lt;/b&gt;</font>"), std::string::npos) << log;
}

TEST_F(frame_test, status_texts_land_in_their_field_and_other_fields_are_ignored)
{
    queue_status_text(frame, status_field_coordinates, "Coordinate server: no data.");
    queue_status_text(frame, status_field_delivery, "Messages in queue: 3 sent: 41");
    queue_status_text(frame, 3, "no such field");
    queue_status_text(frame, -1, "no such field");
    wxTheApp->ProcessPendingEvents();

    wxStatusBar* bar = frame->GetStatusBar();
    ASSERT_EQ(bar->GetFieldsCount(), 3);
    EXPECT_EQ(bar->GetStatusText(0), "Messages in queue: 3 sent: 41");
    EXPECT_EQ(bar->GetStatusText(1), "Coordinate server: no data.");
    EXPECT_EQ(bar->GetStatusText(2), "");
}

TEST_F(frame_test, an_exception_in_an_event_handler_becomes_one_red_row)
{
    const int id = wxWindow::NewControlId();
    frame->Bind(wxEVT_BUTTON, [](wxCommandEvent&) { throw std::runtime_error("bad <input>"); }, id);
    wxCommandEvent event(wxEVT_BUTTON, id);
    static_cast<wxEvtHandler*>(frame)->SafelyProcessEvent(event);

    const std::string log = log_text();
    EXPECT_NE(log.find("<font color='red'>bad &lt;input&gt;</font>"), std::string::npos) << log;
    EXPECT_EQ(log.find("color='red'"), log.rfind("color='red'")) << "exactly one red row";
    EXPECT_FALSE(frame->IsShown()) << "the window stays hidden";
}

TEST_F(frame_test, a_worker_that_ends_by_an_exception_gives_one_red_row_and_no_box)
{
    struct throwing_worker : worker_thread {
        using worker_thread::worker_thread;
        void wake() override {}
        void run() override { throw std::runtime_error("bad <state>"); }
    } worker("thrower", frame);
    ASSERT_EQ(worker.Run(), wxTHREAD_NO_ERROR);
    worker.Wait();
    wxTheApp->ProcessPendingEvents();

    const std::string log = log_text();
    EXPECT_NE(log.find("<font color='red'>Worker thrower ended: bad &lt;state&gt;</font>"), std::string::npos) << log;
    EXPECT_EQ(log.find("color='red'"), log.rfind("color='red'")) << "exactly one red row";
}
