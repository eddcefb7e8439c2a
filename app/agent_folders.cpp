#include "app/agent_folders.hpp"

agent_folders user_folders()
{
    const auto folder = [](const char* name) {
        wxFileName path = wxFileName::DirName(wxFileName::GetHomeDir());
        path.AppendDir("Quillbank");
        path.AppendDir(name);
        return path.GetPath();
    };
    return {folder("config"), folder("log"), folder("routewarden")};
}
