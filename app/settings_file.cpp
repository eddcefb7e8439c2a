#include "app/settings_file.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/strconv.h>

#include "app/platform.hpp"
#include "app/settings_keys.hpp"
#include "log/durable_file.hpp"

bool create_settings_folder(const wxFileName& file)
{
    const wxLogNull reported_by_the_caller;  // the library's own box would come on top of its row
    return file.DirExists() || file.Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
}

wxFileName settings_copy_name(const wxFileName& file)
{
    return wxFileName(file.GetPath(), file.GetFullName() + ".bak");
}

bool settings_text_damaged(const std::string& content)
{
    if (content.empty() || content.back() != '\n')
        return true;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        const std::size_t equals = line.find('=');
        // As the library reads it: comments start with ';' or '#', groups with '['.
        if (start != std::string::npos && std::strchr(";#[=", line[start]) == nullptr && equals != std::string::npos)
            return false;
    }
    return true;
}

namespace {
std::optional<std::string> read_bytes(const wxFileName& file)
{
    std::ifstream in(std::filesystem::u8path(file.GetFullPath().utf8_string()), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Read from memory, so the library itself never writes: every write goes through replace_durably.
class durable_settings : public wxFileConfig {
public:
    durable_settings(const std::string& content, const wxFileName& file)
        : durable_settings(wxMemoryInputStream(content.data(), content.size()), file)
    {
    }
    // The base destructor finds no file of its own to write.
    ~durable_settings() override { durable_settings::Flush(); }

    // Writes only a changed content: a save without a change keeps the modification time.
    bool Flush(bool = false) override
    {
        const std::string now = serialised();
        if (now == written_)
            return true;
        if (!file_.DirExists() || !replace_durably(file_.GetFullPath(), now))
            return false;
        written_ = now;
        return true;
    }

private:
    durable_settings(wxMemoryInputStream&& content, const wxFileName& file)
        : wxFileConfig(content, wxConvUTF8), file_(file), written_(serialised())
    {
    }

    std::string serialised()
    {
        wxMemoryOutputStream out;
        Save(out, wxConvUTF8);
        std::string content(out.GetSize(), '\0');
        out.CopyTo(content.data(), content.size());
        return content;
    }

    wxFileName file_;
    std::string written_;
};

void write_first_start_values(wxConfigBase& config, const setting_defaults& defaults)
{
    config.Write(settings::tracking_server_address, defaults.tracking_server_address);
    config.Write(settings::coordinate_server_address, defaults.coordinate_server_address);
    config.Write(settings::coordinate_server_port, defaults.coordinate_server_port);
    config.Write(settings::debug, false);
    config.Write(settings::device, defaults.device);
}

// The content that is read: the file's, the last good copy's when the file is damaged, or none.
std::optional<std::string> usable_content(const wxFileName& file, settings_found& state)
{
    state = settings_found::whole;
    std::optional<std::string> content = read_bytes(file);
    if (!content) {
        state = settings_found::missing;
    } else if (settings_text_damaged(*content)) {
        content = read_bytes(settings_copy_name(file));
        const bool usable = content && !settings_text_damaged(*content);
        state = usable ? settings_found::damaged_copy_used : settings_found::damaged_no_copy;
        if (!usable)
            content.reset();
    }
    return content;
}
}

wxSharedPtr<wxFileConfig> open_settings(const wxFileName& file, const setting_defaults& defaults,
                                        settings_found* found)
{
    settings_found state = settings_found::whole;
    const std::optional<std::string> content = usable_content(file, state);
    if (state == settings_found::whole && read_bytes(settings_copy_name(file)) != content)
        replace_durably(settings_copy_name(file).GetFullPath(), *content);
    wxSharedPtr<wxFileConfig> config(new durable_settings(content.value_or(std::string()), file));
    // Without its folder, whose failure the caller has reported, nothing can be written; readers
    // take the same values from their defaults.
    if (state == settings_found::missing && file.DirExists()) {
        write_first_start_values(*config, defaults);
        config->Flush();
    }
    if (found)
        *found = state;
    return config;
}

wxSharedPtr<wxFileConfig> read_settings(const wxFileName& file)
{
    settings_found state = settings_found::whole;
    const std::string content = usable_content(file, state).value_or(std::string());
    wxMemoryInputStream in(content.data(), content.size());
    // Made from a stream, it has no file to write to.
    return wxSharedPtr<wxFileConfig>(new wxFileConfig(in, wxConvUTF8));
}

bool settings_file_changed(const wxFileName& file, wxDateTime& last_seen)
{
    if (!file.FileExists())
        return false;
    const wxDateTime modified = platform::modification_time(file);
    if (modified.IsValid() && last_seen.IsValid() && modified == last_seen)
        return false;
    last_seen = modified;
    return true;
}

void write_setting(wxConfigBase& config, const wxString& key, const wxString& value)
{
    if (!config.HasEntry(key) || config.Read(key) != value)
        config.Write(key, value);
}

void write_setting(wxConfigBase& config, const wxString& key, bool value)
{
    if (!config.HasEntry(key) || config.ReadBool(key, !value) != value)
        config.Write(key, value);
}

void save_setting_edits(const wxFileName& file, const setting_defaults& defaults,
                        const std::vector<setting_edit>& edits)
{
    if (std::none_of(edits.begin(), edits.end(), [](const setting_edit& edit) { return edit.changed; }))
        return;
    settings_found found = settings_found::whole;
    const auto config = open_settings(file, defaults, &found);
    if (found == settings_found::damaged_no_copy)
        write_first_start_values(*config, defaults);
    for (const setting_edit& edit : edits) {
        std::visit(
            [&](const auto& value) {
                if (edit.changed)
                    write_setting(*config, edit.key, value);
                else if (!config->HasEntry(edit.key))
                    config->Write(edit.key, value);
            },
            edit.value);
    }
    config->Flush();
}
