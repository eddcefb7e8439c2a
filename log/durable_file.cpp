#include "log/durable_file.hpp"

#ifdef __WINDOWS__
#include <wx/msw/wrapwin.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filename.h>
#endif

#ifdef __WINDOWS__

bool flush_to_disk(const wxString& path)
{
    // Another handle than the writer's: the system flushes the file's data whichever handle asks.
    const HANDLE file = CreateFileW(path.wc_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed;
}

bool replace_durably(const wxString& path, const std::string& content)
{
    const wxString temporary = path + ".tmp";
    const HANDLE file = CreateFileW(temporary.wc_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool stored = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) != 0 &&
                        written == content.size() && FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (stored && MoveFileExW(temporary.wc_str(), path.wc_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.wc_str());
    return false;
}

#else

namespace {
bool write_all(int file, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(file, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool sync_path(const std::string& path, int flags)
{
    const int file = ::open(path.c_str(), flags | O_CLOEXEC);
    if (file < 0)
        return false;
    const bool synced = ::fsync(file) == 0;
    ::close(file);
    return synced;
}
}

bool flush_to_disk(const wxString& path)
{
    // Another descriptor than the writer's: fsync flushes the file's data whichever one asks.
    return sync_path(std::string(path.fn_str()), O_WRONLY);
}

bool replace_durably(const wxString& path, const std::string& content)
{
    const std::string target(path.fn_str());
    const std::string temporary = target + ".tmp";
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0)
        return false;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0)
        ::fchmod(file, old.st_mode & 07777); // the replacement keeps the old file's permissions
    const bool stored = write_all(file, content.data(), content.size()) && ::fsync(file) == 0;
    if (::close(file) != 0 || !stored || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename is in the folder's data: without this a power cut can still bring back the old name.
    sync_path(std::string(wxFileName(path).GetPath().fn_str()), O_RDONLY | O_DIRECTORY);
    return true;
}

#endif
