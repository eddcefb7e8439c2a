#include "log/log_files.hpp"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace {

constexpr long retention_seconds = 7 * 24 * 60 * 60;

} // namespace

const wxString log_file_pattern = "routewarden[*].html";

wxString log_file_name(std::uint32_t time, unsigned long pid)
{
    return wxString::Format("routewarden[%u%lu].html", static_cast<unsigned>(time), pid);
}

wxFileName free_log_file(const wxString& folder, std::uint32_t time, unsigned long pid)
{
    wxFileName file(folder, log_file_name(time, pid));
    while (file.Exists())
        file.SetFullName(log_file_name(++time, pid));
    return file;
}

wxFileName new_log_file(const wxString& folder)
{
    return free_log_file(folder, static_cast<std::uint32_t>(std::time(nullptr)), wxGetProcessId());
}

wxFileName prepare_log_file(const wxString& folder)
{
    const wxLogNull reported_below; // the toolkit's own message would come on top of ours
    if (!wxFileName::DirExists(folder) && !wxFileName::Mkdir(folder, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL))
        throw std::runtime_error(wxString::Format(_("Error creating log dir [%s]"), folder).ToStdString(wxConvUTF8));
    return new_log_file(folder);
}

void remove_old_logs(const wxString& folder, const wxString& pattern, const wxFileName& keep)
{
    remove_old_logs(folder, pattern, keep, [] { return wxDateTime::UNow(); });
}

void remove_old_logs(const wxString& folder, const wxString& pattern, const wxFileName& keep,
                     const std::function<wxDateTime()>& now)
{
    const wxLogNull silent; // failures here are not reported
    wxArrayString files;
    // Plain, visible files of this folder only: no wxDIR_DIRS, no wxDIR_HIDDEN, no descent.
    wxDir::GetAllFiles(folder, &files, pattern, wxDIR_FILES);
    for (const wxString& path : files) {
        const wxFileName file(path);
        if (file.SameAs(keep))
            continue;
        const wxDateTime changed = file.GetModificationTime();
        if (!changed.IsValid())
            continue;
        // Whole seconds on both sides: the file system's time has no milliseconds here, so a clock
        // with them would make a file up to a second younger than the limit look older.
        const wxLongLong age = now().GetValue() / 1000 - changed.GetValue() / 1000;
        if (age > retention_seconds)
            wxRemoveFile(path);
    }
}

std::vector<wxFileName> recent_run_logs(const wxString& folder, const wxFileName& current, std::size_t per_run,
                                        std::uintmax_t file_limit)
{
    struct log_file {
        wxFileName file;
        wxDateTime changed;
        wxULongLong size;
    };
    const wxLogNull silent; // a file gone meanwhile is simply not listed
    wxArrayString paths;
    wxDir::GetAllFiles(folder, &paths, log_file_pattern, wxDIR_FILES);
    std::vector<log_file> older;
    for (const wxString& path : paths) {
        const wxFileName file(path);
        const wxDateTime changed = file.GetModificationTime();
        if (!file.SameAs(current) && changed.IsValid())
            older.push_back({file, changed, file.GetSize()});
    }
    std::sort(older.begin(), older.end(), [](const log_file& a, const log_file& b) {
        return a.changed != b.changed ? a.changed > b.changed : a.file.GetFullName() > b.file.GetFullName();
    });

    std::vector<wxFileName> result{current};
    std::size_t run = 0, taken_of_run = 1;
    for (const log_file& log : older) {
        if (log.size == wxInvalidSize || log.size.GetValue() <= file_limit) { // ended its run
            if (++run == 2)
                break;
            taken_of_run = 0;
        }
        if (taken_of_run++ < per_run)
            result.push_back(log.file);
    }
    return result;
}
