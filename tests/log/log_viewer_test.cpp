#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/utils.h>

#include "eventually.hpp"
#include "file_contents.hpp"
#include "log/log_rows.hpp"
#include "log/log_viewer.hpp"
#include "log/running_log.hpp"
#include "temp_home.hpp"

using namespace std::chrono_literals;

namespace {

// Runs what the event loop holds: the view catches up on a timer.
void settle()
{
    wxTheApp->ProcessPendingEvents();
    wxYield();
}

bool shows(log_viewer* view, std::size_t count)
{
    return eventually([&] { return view->GetItemCount() == count; }, 5s, settle);
}

class log_viewer_test : public testing::Test {
protected:
    log_viewer_test()
    {
        frame->SetSize(600, 400);
        frame->Show();
        settle();
    }
    // At once, not deferred like Destroy(): the next test's view must not find this one's
    // redirectors still in the streams.
    ~log_viewer_test() override { delete frame; }

    // The view catches up on a timer; on Windows yielding delivers timer ticks only while an
    // event loop is active, as it is in the program.
    wxEventLoop loop;
    wxEventLoopActivator active_loop{&loop};
    temp_home home;
    std::string path = home.path() + "/run.html";
    std::unique_ptr<running_log> log = std::make_unique<running_log>(wxFileName(path));
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "log");
    log_viewer* view = new log_viewer(frame, *log);
};

} // namespace

TEST_F(log_viewer_test, page_and_file_hold_the_header_and_rows_in_call_order)
{
    const std::string header = "<html>\n<table>\n<tbody>\n";
    EXPECT_EQ(view->page_source(), header);
    EXPECT_EQ(file_text(path), header);

    log_info("one");
    log_error("two");
    log_info(L"<b>три</b>");
    const std::string text = file_text(path);
    EXPECT_EQ(view->page_source().utf8_string(), text);
    const auto one = text.find("'blue'>one<"), two = text.find("'red'>two<"),
               three = text.find(u8"'blue'>&lt;b&gt;три&lt;/b&gt;<");
    ASSERT_NE(three, std::string::npos);
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
    EXPECT_EQ(text.substr(text.size() - 6), "</tr>\n");

    EXPECT_TRUE(shows(view, 3));
}

TEST_F(log_viewer_test, streams_return_to_their_earlier_buffers_when_the_log_goes)
{
    view->Destroy();
    log.reset();
    std::wstringbuf earlier_out, earlier_err;
    std::wstreambuf* original_out = std::wcout.rdbuf(&earlier_out);
    std::wstreambuf* original_err = std::wcerr.rdbuf(&earlier_err);
    log = std::make_unique<running_log>(wxFileName(path));
    log_info("in");
    log_error("side");
    log.reset();
    std::wcout << L"out";
    std::wcerr << L"err";
    std::wcout.rdbuf(original_out);
    std::wcerr.rdbuf(original_err);

    EXPECT_EQ(earlier_out.str(), L"out");
    EXPECT_EQ(earlier_err.str(), L"err");
    const std::string text = file_text(path);
    EXPECT_NE(text.find("'red'>side<"), std::string::npos);
    EXPECT_EQ(text.find("out"), std::string::npos);
}

TEST_F(log_viewer_test, narrow_streams_never_reach_the_view)
{
    std::cout << "narrow" << std::endl;
    std::cerr << "narrow" << std::endl;
    EXPECT_EQ(view->page_source().Find("narrow"), wxNOT_FOUND);
    EXPECT_EQ(file_text(path).find("narrow"), std::string::npos);
}

TEST_F(log_viewer_test, follows_new_rows_only_while_the_newest_is_in_sight)
{
    for (int i = 0; i < 200; ++i)
        log_info(wxString::Format("row %d", i));
    ASSERT_TRUE(shows(view, 200));
    EXPECT_EQ(view->GetVisibleRowsEnd(), 200u);
    EXPECT_GT(view->GetVisibleRowsBegin(), 0u);

    log_error("one more");
    ASSERT_TRUE(shows(view, 201));
    EXPECT_EQ(view->GetVisibleRowsEnd(), 201u);

    view->ScrollToRow(10);
    settle();
    for (int i = 0; i < 50; ++i)
        log_info("while away");
    ASSERT_TRUE(shows(view, 251));
    EXPECT_EQ(view->GetVisibleRowsBegin(), 10u);
}

TEST_F(log_viewer_test, keeps_the_newest_rows_and_shifts_the_rows_in_sight_the_selection_and_the_heights)
{
    delete view; // at once: the frame lays out its only child
    log.reset();
    log = std::make_unique<running_log>(wxFileName(path), 60);
    view = new log_viewer(frame, *log);
    frame->SendSizeEvent();
    // Every third row is three lines high, so a height left at its old position shows: written to
    // the stream as markup, which a row's plain text cannot be.
    const auto write = [](int from, int to) {
        for (int n = from; n < to; ++n)
            std::wcout << L"<tr>" << std::endl
                       << L"<td>01.01.2027 00:00:00</td>" << std::endl
                       << L"<td> <font color='blue'>row " << n << (n % 3 == 0 ? L"<br>tall<br>tall" : L"")
                       << L"</font></td>" << std::endl
                       << L"</tr>" << std::endl;
    };
    const auto caught_up = [&](std::size_t dropped) {
        return eventually([&] { return view->GetItemCount() == 60u && view->dropped_rows() == dropped; }, 5s, settle);
    };
    write(0, 100);
    ASSERT_TRUE(caught_up(40)) << "shows " << view->GetItemCount() << " rows after dropping " << view->dropped_rows();
    EXPECT_EQ(view->GetVisibleRowsEnd(), 60u) << "the newest row left out of sight";
    view->ScrollToRow(20);
    view->SetSelection(25);
    write(100, 107);
    ASSERT_TRUE(caught_up(47)) << "shows " << view->GetItemCount() << " rows after dropping " << view->dropped_rows();
    EXPECT_EQ(view->GetVisibleRowsBegin(), 13u);
    EXPECT_EQ(view->GetSelection(), 18);
    const std::size_t first = view->GetVisibleRowsBegin(), end = view->GetVisibleRowsEnd();
    const auto tall = [](std::size_t item) { return (item + 47) % 3 == 0; };
    const wxCoord low = view->GetItemRect(tall(first) ? first + 1 : first).height;
    for (std::size_t item = first; item < end; ++item)
        EXPECT_EQ(view->GetItemRect(item).height > low, tall(item)) << "item " << item << " is row " << item + 47;
}

TEST_F(log_viewer_test, rows_written_before_the_window_was_ever_shown_appear_with_it)
{
    view->Destroy();
    wxFrame hidden(nullptr, wxID_ANY, "hidden", wxDefaultPosition, wxSize(600, 400));
    auto* hidden_view = new log_viewer(&hidden, *log);
    for (int i = 0; i < 100; ++i)
        log_info(wxString::Format("hidden %d", i));
    ASSERT_TRUE(shows(hidden_view, 100));
    hidden.Show();
    // The window gets its size some turns of the loop later, later still under load.
    EXPECT_TRUE(eventually([&] { return hidden_view->GetVisibleRowsEnd() == 100u; }, 5s, settle))
        << "the newest row is not in sight once shown: rows end at " << hidden_view->GetVisibleRowsEnd();
    EXPECT_GT(hidden_view->GetVisibleRowsBegin(), 0u);
}

namespace {

// Pixels of the view's window in this colour (within a tolerance for smoothed text edges).
int pixels_like(wxWindow* window, const wxColour& colour)
{
    const wxSize size = window->GetClientSize();
    wxBitmap shot(size);
    {
        wxClientDC screen(window);
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    }
    const wxImage image = shot.ConvertToImage();
    int count = 0;
    for (int y = 0; y < size.y; ++y)
        for (int x = 0; x < size.x; ++x)
            if (std::abs(image.GetRed(x, y) - colour.Red()) < 60 &&
                std::abs(image.GetGreen(x, y) - colour.Green()) < 60 &&
                std::abs(image.GetBlue(x, y) - colour.Blue()) < 60)
                ++count;
    return count;
}

} // namespace

TEST_F(log_viewer_test, rows_are_painted_in_their_colours)
{
    EXPECT_EQ(pixels_like(view, *wxBLUE), 0);
    log_info("information");
    EXPECT_TRUE(eventually([&] { return pixels_like(view, *wxBLUE) > 20; }, 5s, settle));
    EXPECT_EQ(pixels_like(view, *wxRED), 0);
    log_error("error");
    EXPECT_TRUE(eventually([&] { return pixels_like(view, *wxRED) > 20; }, 5s, settle));
}
