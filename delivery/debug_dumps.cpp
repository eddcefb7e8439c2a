#include "delivery/debug_dumps.hpp"

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <wx/ffile.h>
#include <wx/log.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* prefixes[] = {"msg_", "res_"};
constexpr char suffix[] = ".json";

// Gives the file's path, written or not.
fs::path write_dump(const wxFileName& folder, const wxString& name, const std::string& bytes)
{
    wxFileName file = folder;
    file.SetFullName(name);
    wxFFile out(file.GetFullPath(), "wb"); // the exchanged bytes as they were, no line-end translation
    if (out.IsOpened())
        out.Write(bytes.data(), bytes.size());
    return fs::u8path(file.GetFullPath().utf8_string());
}

// A pair's place in the order of writing: msg_<time>_<sequence>.json by its sequence, after every
// msg_<time>.json of older runs, which go by their time. The clock in a name is never trusted over
// the sequence: a clock set back must not make a new pair the oldest.
struct dump_order {
    unsigned long long sequence = 0; // 0 for the names without one
    unsigned long long time = 0;
    bool operator<(const dump_order& other) const
    {
        return sequence != other.sequence ? sequence < other.sequence : time < other.time;
    }
};

// The digits from "at" up to the first non-digit; false when there are none.
bool digits(const std::string& name, std::size_t& at, std::size_t end, unsigned long long& value)
{
    const std::size_t from = at;
    for (value = 0; at < end && name[at] >= '0' && name[at] <= '9'; ++at)
        value = value * 10 + static_cast<unsigned long long>(name[at] - '0');
    return at > from;
}

// The place of a dump file's name, or false for any other file.
bool dump_place(const std::string& name, dump_order& order)
{
    const std::size_t prefix = 4, digits_end = name.size() - (sizeof suffix - 1);
    if (name.size() <= prefix + sizeof suffix - 1 || name.compare(digits_end, std::string::npos, suffix) != 0 ||
        (name.compare(0, prefix, prefixes[0]) != 0 && name.compare(0, prefix, prefixes[1]) != 0))
        return false;
    std::size_t at = prefix;
    order = {};
    if (!digits(name, at, digits_end, order.time))
        return false;
    if (at < digits_end && (name[at++] != '_' || !digits(name, at, digits_end, order.sequence) || order.sequence == 0))
        return false;
    return at == digits_end;
}

using dump_pairs = std::map<dump_order, std::vector<fs::path>>; // oldest first

dump_pairs dumps_in(const wxFileName& folder)
{
    std::error_code error;
    dump_pairs pairs;
    for (fs::directory_iterator it(fs::u8path(folder.GetFullPath().utf8_string()), error), end; !error && it != end;
         it.increment(error)) {
        dump_order order;
        if (dump_place(it->path().filename().u8string(), order))
            pairs[order].push_back(it->path());
    }
    return pairs;
}

void remove_oldest_pairs(dump_pairs pairs)
{
    std::error_code error;
    while (pairs.size() > max_kept_dump_pairs) {
        for (const fs::path& file : pairs.begin()->second)
            fs::remove(file, error);
        pairs.erase(pairs.begin());
    }
}
}

void save_dump_pair(const wxFileName& folder, std::size_t stamp, const std::string& message,
                    const std::string& answer)
{
    wxLogNull quiet; // failures to write a dump are not reported
    if (!folder.Mkdir(0777, wxPATH_MKDIR_FULL))
        return;
    dump_pairs pairs = dumps_in(folder);
    // Each pair continues the folder's sequence: two failures within one second never share names.
    const dump_order order{pairs.empty() ? 1 : pairs.rbegin()->first.sequence + 1,
                           static_cast<unsigned long long>(stamp)};
    std::vector<fs::path>& written = pairs[order];
    for (const auto& [prefix, bytes] : {std::pair{prefixes[0], &message}, std::pair{prefixes[1], &answer}})
        written.push_back(
            write_dump(folder, wxString::Format("%s%llu_%llu%s", prefix, order.time, order.sequence, suffix), *bytes));
    remove_oldest_pairs(std::move(pairs));
}

std::vector<wxFileName> newest_dump_files(const wxFileName& folder, std::size_t pairs)
{
    const dump_pairs dumps = dumps_in(folder);
    std::vector<wxFileName> files;
    for (auto pair = dumps.rbegin(); pair != dumps.rend() && pairs > 0; ++pair, --pairs)
        for (const fs::path& file : pair->second)
            files.emplace_back(wxString::FromUTF8(file.u8string()));
    return files;
}
