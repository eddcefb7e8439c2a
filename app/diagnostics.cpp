#include "app/diagnostics.hpp"

#include <curl/curl.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/utils.h>
#include <wx/version.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include "delivery/debug_dumps.hpp"
#include "log/log_files.hpp"
#include "log/log_page.hpp"

namespace {
wxString about_text(const diagnostics_content& content, const wxDateTime& when)
{
    wxString text;
    text << "Routewarden " << ROUTEWARDEN_VERSION << '\n'
         << wxVERSION_STRING << '\n'
         << curl_version() << '\n'
         << "Host: " << wxGetHostName() << '\n'
         << "OS: " << wxGetOsDescription() << '\n'
         << "Saved: " << when.FormatISOCombined(' ') << '\n'
         << "Messages waiting in the outbox: " << content.waiting << '\n'
         << "Outbox: " << (content.durable ? "on disk" : "in memory only") << '\n';
    return text;
}

wxString values_text(const std::vector<setting_row>& rows)
{
    wxString text = "key\tvalue\tsource\n";
    for (const setting_row& row : rows)
        text << row.key << '\t' << row.value << '\t' << row.source << '\n';
    return text;
}

class bundle {
public:
    bundle(wxOutputStream& out, const wxDateTime& when) : zip_(out), when_(when) {}

    void add_text(const wxString& name, const wxString& text)
    {
        const wxScopedCharBuffer utf8 = text.utf8_str();
        zip_.PutNextEntry(name, when_);
        zip_.Write(utf8.data(), utf8.length());
    }

    // Under folder/ with its own name; a file that cannot be opened (gone meanwhile) is left out.
    void add_file(const wxString& folder, const wxFileName& file)
    {
        wxFFileInputStream in(file.GetFullPath(), "rb");
        if (!in.IsOk())
            return;
        zip_.PutNextEntry(folder + '/' + file.GetFullName(), file.GetModificationTime());
        zip_.Write(in);
    }

    bool close() { return zip_.Close(); }

private:
    wxZipOutputStream zip_;
    const wxDateTime when_;
};

void fill(bundle& zip, const diagnostics_content& content, const wxDateTime& when)
{
    zip.add_text("about.txt", about_text(content, when));
    zip.add_text("values.txt", values_text(content.values));
    zip.add_file("settings", content.settings_file);
    for (const wxFileName& log : recent_run_logs(content.current_log.GetPath(), content.current_log,
                                                 diagnostic_logs_per_run, log_file_limit))
        zip.add_file("log", log);
    for (const wxFileName& dump : newest_dump_files(content.dump_folder, diagnostic_dump_pairs))
        zip.add_file("dumps", dump);
}

wxString cannot_write(const wxString& path)
{
    return wxString::Format(_("cannot write %s"), path) + " (" + wxSysErrorMsgStr() + ")";
}
}

wxString diagnostics_file_name(const wxString& host, const wxDateTime& when)
{
    wxString safe_host = host;
    for (auto c = safe_host.begin(); c != safe_host.end(); ++c)
        if (!(*c < 0x80 && (wxIsalnum(*c) || *c == '-' || *c == '_' || *c == '.')))
            *c = '_';
    return "routewarden-diagnostics-" + safe_host + "-" + when.Format("%Y%m%d-%H%M%S") + ".zip";
}

diagnostics_outcome save_diagnostics(const wxString& folder, const diagnostics_content& content,
                                     const wxDateTime& when)
{
    const wxLogNull reported_by_the_caller;
    diagnostics_outcome outcome;
    outcome.zip = wxFileName(folder, diagnostics_file_name(wxGetHostName(), when));
    outcome.zip.Normalize(wxPATH_NORM_DOTS); // a dialog may give the folder as "<folder>\."
    const wxString final_path = outcome.zip.GetFullPath();
    const wxString part_path = final_path + ".part";
    bool written = false;
    {
        wxFFileOutputStream out(part_path, "wb");
        if (out.IsOk()) {
            bundle zip(out, when);
            fill(zip, content, when);
            written = zip.close() && out.Close();
        }
    }
    if (!written)
        outcome.failure = cannot_write(part_path);
    else if (!wxRenameFile(part_path, final_path, true))
        outcome.failure = cannot_write(final_path);
    if (!outcome.failure.empty())
        wxRemoveFile(part_path);
    return outcome;
}
