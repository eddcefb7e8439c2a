#pragma once
// The agent's folders in the test's home, as the agent computes them.
#include <wx/filename.h>

#include "app/agent_folders.hpp"

inline wxFileName delivery_folder()
{
    return wxFileName::DirName(user_folders().delivery);
}

inline wxFileName outbox_file_name()
{
    return wxFileName(user_folders().delivery, "outbox.sqlite");
}
