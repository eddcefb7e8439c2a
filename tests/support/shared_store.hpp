#pragma once
// The rows of a store's outbox file, read after the store has let go of it.
#include <string>
#include <vector>

#include "delivery/delivery_store.hpp"
#include "delivery/outbox.hpp"
#include "home_folders.hpp"

inline std::vector<std::string> outbox_rows(delivery_store& store)
{
    store.close_outbox();
    return outbox(outbox_file_name().GetFullPath().ToStdString(wxConvUTF8)).load(100);
}
