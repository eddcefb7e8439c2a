// The main window inside the test process, on the desktop that the test runs on: what the agent's
// status facts and a throwing event handler leave in the status bar and the log.
#include <stdexcept>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/statusbr.h>

#include "app/application.hpp"
#include "app/routewarden_frame.hpp"
#include "file_contents.hpp"
#include "log/running_log.hpp"
#include "temp_home.hpp"

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

    std::string log_text() { return file_text(fs_path(frame->agent().log().page().current_file())); }
};
}

TEST_F(frame_test, status_facts_land_in_their_fields)
{
    queue_status(&frame->agent(), coordinate_status{});
    queue_status(&frame->agent(), delivery_counts{3, 41});
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
    frame->Bind(
        wxEVT_BUTTON, [](wxCommandEvent&) { throw std::runtime_error("bad <input>"); }, id);
    wxCommandEvent event(wxEVT_BUTTON, id);
    static_cast<wxEvtHandler*>(frame)->SafelyProcessEvent(event);

    const std::string log = log_text();
    EXPECT_NE(log.find("<font color='red'>bad &lt;input&gt;</font>"), std::string::npos) << log;
    EXPECT_EQ(log.find("color='red'"), log.rfind("color='red'")) << "exactly one red row";
    EXPECT_FALSE(frame->IsShown()) << "the window stays hidden";
}
