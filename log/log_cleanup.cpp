#include "log/log_cleanup.hpp"

#include <utility>

#include "log/log_files.hpp"

log_cleanup::log_cleanup(const wxString& folder, std::function<wxFileName()> current_file,
                         std::chrono::milliseconds period)
    : folder_(folder), current_file_(std::move(current_file))
{
    run();
    timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { run(); });
    timer_.Start(static_cast<int>(period.count()));
}

void log_cleanup::run() const
{
    remove_old_logs(folder_, log_file_pattern, current_file_());
}
