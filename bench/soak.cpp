// One simulated month of the whole agent: the real main window and its workers, polling every
// few milliseconds instead of every ten seconds, against a tracking service that rejects every
// message with a long reason, with "debug" on. Prints, at the first simulated hour, every
// simulated day and the end, the resident memory and what lies on disk: the log files, the dump
// files and the outbox. Run it on a display (bench/soak does); it asserts nothing.
// Arguments: [poll cycles (259200, a month)] [poll period in ms (2)].
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "app/agent_folders.hpp"
#include "app/application.hpp"
#include "app/platform.hpp"
#include "app/routewarden_frame.hpp"
#include "app/settings_file.hpp"
#include "delivery/delivery_store.hpp"
#include "temp_home.hpp"
#include "tools/coordinate_simulator.hpp"
#include "tools/tracking_stub.hpp"
#include "home_folders.hpp"

// The application object without its start-up: the soak makes the window itself.
wxIMPLEMENT_APP_NO_MAIN(routewarden);

namespace {
namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

constexpr long cycles_per_hour = 360; // of ten seconds each
constexpr long cycles_per_day = 24 * cycles_per_hour;
constexpr long month_cycles = 30 * cycles_per_day;
constexpr std::size_t reason_length = 600;
constexpr int check_every_ms = 100;

// The peers' process writes, the agent's reads.
struct peer_state {
    std::atomic<long> cycles{0}; // the coordinate server's requests
    std::atomic<long> posted{0}; // the messages the service received
    std::atomic<unsigned> coordinate_port{0};
    char service_url[256] = {};
};

std::string rejection_reason()
{
    std::string reason;
    while (reason.size() < reason_length)
        reason += "The device is not registered for tracking on this line. ";
    reason.resize(reason_length);
    return reason;
}

// The peers keep every request they receive, some 700 MB over a month: in a process of their
// own they leave the agent's figures alone.
[[noreturn]] void run_peers(peer_state& state, pid_t agent)
{
    coordinate_simulator coordinates(0, simulator_mode::data);
    tracking_stub service(0, [&state](const received_request&) { ++state.posted; });
    stub_reply rejection;
    rejection.kind = stub_reply::reject;
    rejection.code = "403";
    rejection.reason = rejection_reason();
    service.set_reply(rejection);
    std::strncpy(state.service_url, service.url().c_str(), sizeof state.service_url - 1);
    state.coordinate_port = coordinates.port();
    while (getppid() == agent) {
        state.cycles = static_cast<long>(coordinates.requests());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::_Exit(0); // the agent's home folder and the rest are the agent's to clean up
}

void write_settings(const peer_state& peers)
{
    const wxFileName file = user_folders().settings_file();
    create_settings_folder(file);
    setting_defaults loopback;
    loopback.tracking_server_address = peers.service_url;
    loopback.coordinate_server_port = wxString::Format("%u", peers.coordinate_port.load());
    loopback.device = "soak-vehicle";
    const auto config = open_settings(file, loopback); // the first-start file, on these values
    write_setting(*config, settings::debug, true);
    config->Flush();
}

double megabytes(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

long status_kb(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

std::uintmax_t file_size_or_zero(const fs::path& file)
{
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(file, missing);
    return missing ? 0 : size;
}

struct figures {
    long cycles = 0;
    double minutes = 0;
    long resident_kb = 0;
    long anonymous_kb = 0;
    std::uintmax_t log_bytes = 0;
    std::uintmax_t largest_log_bytes = 0;
    long log_files = 0;
    long dump_files = 0;
    std::uintmax_t outbox_bytes = 0;
    long posted = 0;
};

class soak_run {
public:
    soak_run(const temp_home& home, const peer_state& peers, long cycles, routewarden_frame* frame)
        : home_(home), peers_(peers), cycles_(cycles), frame_(frame)
    {
        ticker_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { check(); });
        ticker_.Start(check_every_ms);
    }

    // Prints the last figures and closes the window, which ends the main loop.
    void finish(const char* label)
    {
        if (!frame_ || frame_->IsBeingDeleted()) // a second signal
            return;
        ticker_.Stop();
        const figures end = measure();
        print(label, end);
        const double days = static_cast<double>(end.cycles) / cycles_per_day;
        std::printf("%ld cycles, %.2f simulated days in %.1f real minutes: %.2f simulated days per real minute\n",
                    end.cycles, days, end.minutes, days / end.minutes);
        if (first_hour_)
            std::printf("after the first simulated hour: resident %+.1f MB, anonymous %+.1f MB, log %+.1f MB\n",
                        (end.resident_kb - first_hour_->resident_kb) / 1024.0,
                        (end.anonymous_kb - first_hour_->anonymous_kb) / 1024.0,
                        megabytes(static_cast<double>(end.log_bytes) - static_cast<double>(first_hour_->log_bytes)));
        std::printf("note: only %.0f real minutes passed, so the seven-day clean-up of old log files (at start) "
                    "deleted nothing\n",
                    end.minutes);
        frame_->exit_program();
    }

private:
    void check()
    {
        const long cycles = peers_.cycles;
        if (!first_hour_ && cycles >= cycles_per_hour) {
            first_hour_ = measure();
            print("hour 1", *first_hour_);
        }
        if (cycles >= cycles_)
            finish("end");
        else if (cycles >= next_day_ * cycles_per_day) {
            print(("day " + std::to_string(cycles / cycles_per_day)).c_str(), measure());
            next_day_ = cycles / cycles_per_day + 1;
        }
    }

    figures measure() const
    {
        figures now;
        now.cycles = peers_.cycles;
        now.posted = peers_.posted;
        now.minutes = std::chrono::duration<double, std::ratio<60>>(clock_type::now() - start_).count();
        now.resident_kb = status_kb("VmRSS:");
        now.anonymous_kb = status_kb("RssAnon:");
        std::error_code error;
        for (fs::directory_iterator it(home_.path_of("Quillbank/log"), error), end; !error && it != end;
             it.increment(error)) {
            const std::uintmax_t size = file_size_or_zero(it->path());
            now.log_bytes += size;
            now.largest_log_bytes = std::max(now.largest_log_bytes, size);
            ++now.log_files;
        }
        for (fs::directory_iterator it(delivery_folder().GetFullPath().utf8_string(), error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.rfind("msg_", 0) == 0 || name.rfind("res_", 0) == 0)
                ++now.dump_files;
        }
        const std::string outbox = outbox_file_name().GetFullPath().utf8_string();
        now.outbox_bytes = file_size_or_zero(outbox) + file_size_or_zero(outbox + "-wal");
        return now;
    }

    static void print(const char* label, const figures& now)
    {
        std::printf("%-7s cycle %6ld %6.1f min  resident %6.1f MB (anonymous %6.1f MB)  log %7.1f MB in %ld files "
                    "(largest %6.1f MB)  dump files %4ld  outbox %5.0f kB  posted %6ld\n",
                    label, now.cycles, now.minutes, now.resident_kb / 1024.0, now.anonymous_kb / 1024.0,
                    megabytes(static_cast<double>(now.log_bytes)), now.log_files,
                    megabytes(static_cast<double>(now.largest_log_bytes)), now.dump_files,
                    static_cast<double>(now.outbox_bytes) / 1024.0, now.posted);
    }

    const temp_home& home_;
    const peer_state& peers_;
    const long cycles_;
    wxWeakRef<routewarden_frame> frame_;
    const clock_type::time_point start_ = clock_type::now();
    wxTimer ticker_;
    std::optional<figures> first_hour_;
    long next_day_ = 1;
};

soak_run* running = nullptr;

void stop_early()
{
    running->finish("stopped");
}

bool wait_for_peers(const peer_state& peers)
{
    for (int i = 0; i < 1000 && peers.coordinate_port == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return peers.coordinate_port != 0;
}

int run_agent(const peer_state& peers, long cycles, std::chrono::milliseconds period)
{
    const temp_home home;
    int argc = 1;
    char name[] = "soak";
    char* argv[] = {name, nullptr};
    if (!wxEntryStart(argc, argv))
        return 2;
    write_settings(peers);
    std::printf("%ld poll cycles every %ld ms (a cycle stands for ten seconds) against a service that rejects "
                "every message with a %zu-character reason, debug on; home %s\n",
                cycles, static_cast<long>(period.count()), reason_length, home.path().c_str());
    // The sender has the library trace every transfer to the standard error, some kilobytes a
    // cycle: discarded, as a tray host does.
    const int null_device = open("/dev/null", O_WRONLY);
    dup2(null_device, STDERR_FILENO);
    close(null_device);
    int code = 0;
    try {
        poll_timing timing;
        timing.period = period;
        soak_run run(home, peers, cycles,
                     new routewarden_frame("Routewarden", wxDefaultPosition, wxSize(800, 600), timing));
        running = &run;
        platform::on_termination_request(stop_early);
        code = wxTheApp->OnRun();
    } catch (const std::exception& error) {
        std::printf("the agent did not start: %s\n", error.what());
        code = 1;
    }
    wxEntryCleanup();
    return code;
}
}

int main(int argc, char** argv)
{
    const long cycles = argc > 1 ? std::max(cycles_per_hour, std::atol(argv[1])) : month_cycles;
    const std::chrono::milliseconds period(argc > 2 ? std::max(1L, std::atol(argv[2])) : 2);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as it comes, also into a pipe

    // Shared with the peers' process, which is forked before any thread exists.
    void* shared = mmap(nullptr, sizeof(peer_state), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return 2;
    auto* peers = new (shared) peer_state;
    const pid_t agent = getpid();
    const pid_t peer_process = fork();
    if (peer_process < 0)
        return 2;
    if (peer_process == 0)
        run_peers(*peers, agent);
    const int code = wait_for_peers(*peers) ? run_agent(*peers, cycles, period) : 2;
    kill(peer_process, SIGTERM);
    waitpid(peer_process, nullptr, 0);
    return code;
}
