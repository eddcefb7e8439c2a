#include "app/agent_folders.hpp"

#include <filesystem>
#include <system_error>

#include "app/platform.hpp"

namespace fs = std::filesystem;

namespace {
fs::path path_of(const wxString& folder, const wxString& name)
{
    return fs::u8path(wxFileName(folder, name).GetFullPath().utf8_string());
}

// A rename first; across volumes (a home folder on a file server) a copy, then the original goes.
bool move_file(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    fs::create_directories(to.parent_path(), error);
    fs::rename(from, to, error);
    if (!error)
        return true;
    error.clear();
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, error))
        return false;
    fs::remove(from, error);
    return true;
}
}

agent_folders folders_under(const wxString& base)
{
    const auto folder = [&](const char* name) {
        wxFileName path = wxFileName::DirName(base);
        path.AppendDir("Quillbank");
        path.AppendDir(name);
        return path.GetPath();
    };
    return {folder("config"), folder("log"), folder("routewarden")};
}

agent_folders user_folders()
{
    return folders_under(platform::user_files_folder());
}

std::vector<wxString> move_former_files(const agent_folders& to)
{
    const wxString former_base = platform::former_user_files_folder();
    if (former_base.empty())
        return {};
    const agent_folders from = folders_under(former_base);
    const wxString settings = to.settings_file().GetFullName();
    const wxString outbox = "outbox.sqlite";
    std::error_code error;
    if (fs::exists(path_of(to.settings, settings), error) || fs::exists(path_of(to.delivery, outbox), error))
        return {};
    const struct {
        const wxString& from_folder;
        const wxString& to_folder;
        wxString name;
    } files[] = {
        {from.settings, to.settings, settings},
        {from.settings, to.settings, settings + ".bak"},
        {from.delivery, to.delivery, outbox},
        {from.delivery, to.delivery, outbox + "-wal"},
        {from.delivery, to.delivery, outbox + "-shm"},
        {from.delivery, to.delivery, outbox + "-journal"},
        {from.delivery, to.delivery, outbox + ".stale"},
    };
    std::vector<wxString> moved;
    for (const auto& file : files) {
        const fs::path source = path_of(file.from_folder, file.name);
        const fs::path target = path_of(file.to_folder, file.name);
        if (fs::exists(source, error) && move_file(source, target))
            moved.push_back(wxString::FromUTF8(target.u8string()));
    }
    return moved;
}
