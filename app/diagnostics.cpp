#include "app/diagnostics.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include <curl/curl.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/utils.h>
#include <wx/version.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include "app/platform.hpp"
#include "delivery/debug_dumps.hpp"
#include "log/log_files.hpp"

namespace {
wxString about_text(const diagnostics_content& content, const wxDateTime& when)
{
    const wxString installed = platform::installed_version();
    wxString text;
    text << "Running: Routewarden " << ROUTEWARDEN_VERSION << '\n'
         << "Installed: " << (installed.empty() ? wxString("not installed") : "Routewarden " + installed) << '\n'
         << wxVERSION_STRING << '\n'
         << curl_version() << '\n'
         << "Host: " << wxGetHostName() << '\n'
         << "OS: " << wxGetOsDescription() << '\n'
         << "Saved: " << when.FormatISOCombined(' ') << '\n';
    if (content.outbox)
        text << "Messages waiting in the outbox: " << content.outbox->waiting << '\n'
             << "Outbox: " << (content.outbox->durable ? "on disk" : "in memory only") << '\n';
    else
        text << "Messages waiting in the outbox: unknown (not read beside the agent)\n";
    return text;
}

wxString values_text(const std::vector<setting_row>& rows)
{
    wxString text = "key\tvalue\tsource\n";
    for (const setting_row& row : rows)
        text << row.key << '\t' << row.value << '\t' << row.source << '\n';
    return text;
}

wxString lines(const std::vector<wxString>& rows)
{
    wxString text;
    for (const wxString& row : rows)
        text << row << '\n';
    return text;
}

// Whatever ends a URL's authority, in text, HTML and JSON alike.
bool ends_authority(char c)
{
    return static_cast<unsigned char>(c) <= ' ' || std::strchr("/\\?\"'<>", c) != nullptr;
}

class bundle {
public:
    bundle(wxOutputStream& out, const wxDateTime& when) : zip_(out), when_(when) {}

    void add_text(const wxString& name, const wxString& text)
    {
        const wxScopedCharBuffer utf8 = text.utf8_str();
        add(name, std::string(utf8.data(), utf8.length()), when_);
    }

    // Under folder/ with its own name; a file that cannot be opened (gone meanwhile) is left out.
    void add_file(const wxString& folder, const wxFileName& file)
    {
        wxFFileInputStream in(file.GetFullPath(), "rb");
        if (!in.IsOk())
            return;
        std::string bytes;
        char buffer[65536];
        while (in.Read(buffer, sizeof buffer).LastRead() > 0)
            bytes.append(buffer, in.LastRead());
        add(folder + '/' + file.GetFullName(), std::move(bytes), file.GetModificationTime());
    }

    bool close() { return zip_.Close(); }

private:
    void add(const wxString& name, std::string bytes, const wxDateTime& time)
    {
        const std::string masked = mask_credentials(std::move(bytes));
        zip_.PutNextEntry(name, time);
        zip_.Write(masked.data(), masked.size());
    }

    wxZipOutputStream zip_;
    const wxDateTime when_;
};

void fill(bundle& zip, const diagnostics_content& content, const wxDateTime& when)
{
    zip.add_text("about.txt", about_text(content, when));
    zip.add_text("values.txt", values_text(content.values));
    zip.add_text("refused.txt", lines(content.refused));
    zip.add_file("settings", content.settings_file);
    for (const wxFileName& log : recent_logs(content.log_folder, content.current_log, diagnostic_logs_limit, when))
        zip.add_file("log", log);
    for (const wxFileName& dump : newest_dump_files(content.dump_folder, diagnostic_dump_pairs))
        zip.add_file("dumps", dump);
}

wxString cannot_write(const wxString& path)
{
    return wxString::Format(_("cannot write %s"), path) + " (" + wxSysErrorMsgStr() + ")";
}
}

diagnostics_content diagnostics_for(const agent_folders& folders, const managed_policy& policy,
                                    const std::vector<wxString>& preset_refusals, const wxConfigBase& file,
                                    const setting_defaults& defaults)
{
    resolved_settings in_force = resolve_settings(policy, file, defaults);
    diagnostics_content content;
    content.log_folder = folders.log;
    content.settings_file = folders.settings_file();
    content.dump_folder = wxFileName::DirName(folders.delivery);
    content.values = std::move(in_force.values);
    content.refused = policy.refused;
    content.refused.insert(content.refused.end(), preset_refusals.begin(), preset_refusals.end());
    content.refused.insert(content.refused.end(), in_force.refused.begin(), in_force.refused.end());
    return content;
}

std::string mask_credentials(std::string bytes)
{
    for (const std::string separator : {"://", ":\\/\\/"}) {
        for (std::size_t at = bytes.find(separator); at != std::string::npos; at = bytes.find(separator, at)) {
            at += separator.size();
            const std::size_t end = std::find_if(bytes.begin() + at, bytes.end(), ends_authority) - bytes.begin();
            const std::size_t user_end = std::string_view(bytes).substr(at, end - at).rfind('@');
            if (user_end != std::string_view::npos)
                bytes.replace(at, user_end, "***");
        }
    }
    return bytes;
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
