#include "delivery/debug_dumps.hpp"

#include <filesystem>
#include <map>
#include <system_error>

#include <wx/ffile.h>
#include <wx/log.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* prefixes[] = {"msg_", "res_"};
constexpr char suffix[] = ".json";

void write_dump(const wxFileName& folder, const wxString& name, const std::string& bytes)
{
    wxFileName file = folder;
    file.SetFullName(name);
    wxFFile out(file.GetFullPath(), "wb"); // the exchanged bytes as they were, no line-end translation
    if (out.IsOpened())
        out.Write(bytes.data(), bytes.size());
}

// The stamp of a dump file's name, or false for any other file.
bool dump_stamp(const std::string& name, unsigned long long& stamp)
{
    const std::size_t prefix = 4, digits_end = name.size() - (sizeof suffix - 1);
    if (name.size() <= prefix + sizeof suffix - 1 || name.compare(digits_end, std::string::npos, suffix) != 0 ||
        (name.compare(0, prefix, prefixes[0]) != 0 && name.compare(0, prefix, prefixes[1]) != 0))
        return false;
    stamp = 0;
    for (std::size_t i = prefix; i < digits_end; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        stamp = stamp * 10 + static_cast<unsigned long long>(name[i] - '0');
    }
    return true;
}

using dump_pairs = std::map<unsigned long long, std::vector<fs::path>>; // by stamp, oldest first

dump_pairs dumps_in(const wxFileName& folder)
{
    std::error_code error;
    dump_pairs pairs;
    for (fs::directory_iterator it(fs::u8path(folder.GetFullPath().utf8_string()), error), end; !error && it != end;
         it.increment(error)) {
        unsigned long long stamp = 0;
        if (dump_stamp(it->path().filename().u8string(), stamp))
            pairs[stamp].push_back(it->path());
    }
    return pairs;
}

void remove_oldest_pairs(const wxFileName& folder)
{
    dump_pairs pairs = dumps_in(folder);
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
    write_dump(folder, wxString::Format("msg_%zu.json", stamp), message);
    write_dump(folder, wxString::Format("res_%zu.json", stamp), answer);
    remove_oldest_pairs(folder);
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
