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

// Whole seconds on both sides: the file system's time has no milliseconds here, so a clock with
// them would make a file up to a second younger than the limit look older.
bool past_retention(const wxDateTime& now, const wxDateTime& changed)
{
    return now.GetValue() / 1000 - changed.GetValue() / 1000 > retention_seconds;
}

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
        if (past_retention(now(), changed))
            wxRemoveFile(path);
    }
}

std::vector<wxFileName> recent_logs(const wxString& folder, const wxFileName& current, std::uintmax_t total_limit,
                                    const wxDateTime& now)
{
    struct log_file {
        wxFileName file;
        wxDateTime changed;
        std::uintmax_t size;
    };
    const wxLogNull silent; // a file gone meanwhile is simply not listed
    wxArrayString paths;
    wxDir::GetAllFiles(folder, &paths, log_file_pattern, wxDIR_FILES);
    std::vector<log_file> older;
    for (const wxString& path : paths) {
        const wxFileName file(path);
        const wxDateTime changed = file.GetModificationTime();
        const wxULongLong size = file.GetSize();
        if (!file.SameAs(current) && changed.IsValid() && size != wxInvalidSize && !past_retention(now, changed))
            older.push_back({file, changed, size.GetValue()});
    }
    std::sort(older.begin(), older.end(), [](const log_file& a, const log_file& b) {
        return a.changed != b.changed ? a.changed > b.changed : a.file.GetFullName() > b.file.GetFullName();
    });

    std::vector<wxFileName> result;
    std::uintmax_t total = 0;
    if (current.IsOk()) {
        result.push_back(current);
        const wxULongLong size = current.GetSize();
        total = size == wxInvalidSize ? 0 : size.GetValue();
    }
    for (const log_file& log : older) {
        if (log.size > total_limit - std::min(total, total_limit))
            break;
        total += log.size;
        result.push_back(log.file);
    }
    return result;
}
