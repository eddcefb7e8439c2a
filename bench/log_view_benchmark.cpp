// Appends rows through log_info and log_error into a shown log view and reports whether a
// row costs more as the log grows, and once the view drops its oldest rows. Run it on a
// display (tests/desktop/on-desktop).
// Arguments: [rows (100000)] [rows between event-loop passes (1)].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <vector>

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/utils.h>

#include "log/log_rows.hpp"
#include "log/log_viewer.hpp"
#include "log/running_log.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

double mean_ms(std::vector<double>::const_iterator from, std::vector<double>::const_iterator to)
{
    return std::accumulate(from, to, 0.0) / static_cast<double>(to - from);
}

// One pass of the event loop: timers, pending events, painting.
void run_event_loop_once()
{
    wxTheApp->ProcessPendingEvents();
    wxYield();
}

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::max(2000L, std::atol(argv[1])) : 100000;
    const long batch = argc > 2 ? std::max(1L, std::atol(argv[2])) : 1;
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv))
        return 2;
    {
        // A folder of its own: past 10 MB the log continues in further files beside the first.
        const wxString folder =
            wxFileName::GetTempDir() + wxFILE_SEP_PATH + wxString::Format("log_view_benchmark-%lu", wxGetProcessId());
        wxFileName::Mkdir(folder);
        const wxFileName file(folder, "log_view_benchmark.html");
        auto* frame = new wxFrame(nullptr, wxID_ANY, "log view benchmark", wxDefaultPosition, wxSize(900, 700));
        auto log = std::make_unique<running_log>(file);
        auto* view = new log_viewer(frame, *log);
        long paints = 0;
        view->Bind(wxEVT_PAINT, [&paints](wxPaintEvent& event) {
            ++paints;
            event.Skip();
        });
        frame->Show();
        run_event_loop_once();

        std::vector<double> cost_ms(static_cast<std::size_t>(rows));
        const auto start = clock_type::now();
        for (long row = 0; row < rows; ++row) {
            const auto before = clock_type::now();
            const wxString text = wxString::Format("Row %ld: coordinate server <127.0.0.1:12500> answered", row);
            if (row % 10 == 9)
                log_error(text);
            else
                log_info(text);
            if ((row + 1) % batch == 0 && row + 1 < rows)
                run_event_loop_once();
            cost_ms[static_cast<std::size_t>(row)] =
                std::chrono::duration<double, std::milli>(clock_type::now() - before).count();
        }
        // The last catch-up, in the total only; the view keeps the newest log_view_rows.
        while (view->GetItemCount() + view->dropped_rows() < static_cast<std::size_t>(rows)) {
            wxMilliSleep(1);
            run_event_loop_once();
        }
        const double total_s = std::chrono::duration<double>(clock_type::now() - start).count();

        const double first = mean_ms(cost_ms.begin(), cost_ms.begin() + 1000);
        const double last = mean_ms(cost_ms.end() - 1000, cost_ms.end());
        std::printf("rows %ld, event-loop pass every %ld rows\n", rows, batch);
        std::printf("total %.3f s\n", total_s);
        std::printf("mean per row: first 1000 %.4f ms, last 1000 %.4f ms, last/first %.2f\n", first, last,
                    last / first);
        std::printf("rows shown %zu (%zu dropped), page %zu characters, %ld paints\n", view->GetItemCount(),
                    view->dropped_rows(), view->page_source().length(), paints);
        delete frame; // the view before the log it shows
        log.reset();
        wxFileName::Rmdir(folder, wxPATH_RMDIR_RECURSIVE);
    }
    wxEntryCleanup();
    return 0;
}
