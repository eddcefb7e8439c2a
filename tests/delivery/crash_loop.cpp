// Crash loop: the poller and the sender, with their store, in a child process that is killed
// with SIGKILL at seeded random moments while a simulator gives numbered positions and a stub
// accepts, rejects or accepts late by a seeded pattern; in some runs, drawn by the same seed,
// the stub rejects everything, so that more than ten messages wait. At the end one more run with
// the service taking everything delivers what is left, and what the stub accepted is held against
// what the simulator produced.
//   delivery_crash_loop [seed]
// Not the agent itself: its ten-second poll would make 30 kills take most of an hour; these are
// the same workers, store and outbox on a short period, which the agent's window only starts and
// stops.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <wx/init.h>

#include "log/log_rows.hpp"
#include "coordinates/timer_thread.hpp"
#include "delivery/delivery_store.hpp"
#include "delivery/outbox.hpp"
#include "delivery/process_messages_thread.hpp"
#include "worker_base/thread_events.hpp"
#include "eventually.hpp"
#include "temp_home.hpp"
#include "tools/coordinate_simulator.hpp"
#include "tools/tracking_stub.hpp"
#include "home_folders.hpp"

extern char** environ;

using namespace std::chrono_literals;

namespace {
constexpr int kills = 30;
constexpr poll_timing child_timing{100ms, 1h, 1s};
// Long enough for a run to start, restore and deliver a few, short enough for 30 to take a minute.
constexpr std::chrono::milliseconds shortest_life{100}, longest_life{2500};
constexpr std::chrono::seconds drain_limit{60}, settle_limit{10};
// The share of runs in which the service rejects everything, and more than enough rejections
// for one run.
constexpr double down_share = 0.2;
constexpr std::size_t down_replies = 1000;
// At a kill the poller's newest record waits in memory for the next one, and one more may be
// on its way from the simulator or waiting for the store during one of its operations.
constexpr std::size_t lost_per_kill = 2;

// Stands where the agent stands: the error rows go to the standard output, beside the loop's
// own report, but for the rejections the stub is told to give, which carry no reason.
class row_printer : public wxEvtHandler {
public:
    explicit row_printer(std::string run) : run_(std::move(run)) {}
    void QueueEvent(wxEvent* event) override
    {
        std::unique_ptr<wxEvent> owned(event);
        if (event->GetEventType() != EVT_LOG_ERROR)
            return;
        const wxString text = static_cast<wxThreadEvent*>(event)->GetString();
        if (text.Strip(wxString::both) != "--")
            std::cout << "run " << run_ << ": " << text.utf8_string() << std::endl;
    }

private:
    const std::string run_;
};

// The agent's part, until it is killed; with "drain", until the store is empty.
int run_child(const std::string& run, const std::string& coordinate_port, const std::string& service_url,
              bool drain)
{
    wxInitializer wx;
    if (!wx.IsOk())
        return 2;
    // As the window starts them: what the last run left goes into the store first.
    row_printer rows(run);
    delivery_store store(&rows, delivery_folder().GetPath());
    if (const auto opening = store.open_outbox(); !opening.failure.empty()) {
        std::cout << "run " << run << ": " << opening.failure.utf8_string() << std::endl;
        return 3;
    }
    timer_thread poller(&rows, store, child_timing);
    process_messages_thread sender(&rows, store);
    poller.configure({"127.0.0.1", static_cast<std::uint16_t>(std::stoi(coordinate_port)), "crash-loop"});
    sender.configure({wxString(service_url), wxString(), "crash-loop"});
    if (poller.Run() != wxTHREAD_NO_ERROR || sender.Run() != wxTHREAD_NO_ERROR)
        return 2;
    if (!drain) {
        std::this_thread::sleep_for(1h); // until the kill
        return 2;
    }
    const bool drained = eventually([&store] { return store.messages().empty(); }, drain_limit);
    sender.stop();
    poller.stop();
    store.close_outbox();
    return drained ? 0 : 1;
}

// The child's standard error channel goes to this file, made anew for each child: the transfer
// library's trace would bury the accounting, and a sanitizer's report belongs to one child.
pid_t spawn_child(const std::vector<std::string>& args, const std::string& error_file)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::cerr << "cannot start a child: " << std::strerror(error) << std::endl;
        std::exit(2);
    }
    return pid;
}

// The exit code, or 128 and the signal.
int exit_code_of(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The end of a child's error channel, the sanitizers' reports among it.
void show_tail(const std::string& error_file)
{
    std::ifstream in(error_file);
    std::deque<std::string> tail;
    for (std::string line; std::getline(in, line);) {
        tail.push_back(line);
        if (tail.size() > 40)
            tail.pop_front();
    }
    for (const auto& line : tail)
        std::cout << "  | " << line << "\n";
}

long kilometre_of(const std::string& body)
{
    const std::string key = "\"rail_km\": \"";
    const auto at = body.find(key);
    return at == std::string::npos ? -1 : std::stol(body.substr(at + key.size()));
}

struct stub_request {
    long km;
    bool accepted;
    std::string body;
    std::size_t produced_before; // positions the simulator had given when it arrived
    int run;                     // the child it came from, from 0
};

// The simulator and the stub every run talks to, and the run each request to the stub came from:
// the child alive when it arrived.
struct loop_peers {
    std::mutex arrival_mutex;
    int run = 0;                                       // guarded by arrival_mutex
    std::vector<std::pair<std::size_t, int>> arrivals; // produced_before and run of each request
    coordinate_simulator simulator{0, simulator_mode::numbered};
    tracking_stub stub{0, [this](const received_request&) {
                           std::lock_guard<std::mutex> lock(arrival_mutex);
                           arrivals.emplace_back(simulator.positions_count(), run);
                       }};

    explicit loop_peers(unsigned seed)
    {
        stub_reply mix;
        mix.kind = stub_reply::mixed;
        mix.seed = seed;
        stub.set_reply(mix);
    }
    void set_run(int alive)
    {
        std::lock_guard<std::mutex> lock(arrival_mutex);
        run = alive;
    }
    // A child's arguments, its run's name and mode ("killed" or "drain") among them.
    std::vector<std::string> child(const std::string& name, const char* mode) const
    {
        return {"delivery_crash_loop", "--child", name, std::to_string(simulator.port()), stub.url(), mode};
    }
    std::vector<stub_request> requests()
    {
        std::lock_guard<std::mutex> lock(arrival_mutex);
        std::vector<stub_request> all;
        const auto received = stub.requests();
        for (std::size_t i = 0; i < received.size(); ++i)
            all.push_back({kilometre_of(received[i].body),
                           received[i].answer == stub_reply::accept || received[i].answer == stub_reply::slow,
                           received[i].body, arrivals[i].first, arrivals[i].second});
        return all;
    }
};

// What the killed runs leave for the accounting.
struct killed_runs {
    // Positions given while each run lived: [first, end) by position number from 0.
    std::vector<std::pair<std::size_t, std::size_t>> given;
    std::set<long> left_in_outbox;
    int down = 0; // runs with the service rejecting everything
};

// The children killed at seeded random moments, each with the stub's replies for its run; nothing
// when one ended by itself or left a connection open.
std::optional<killed_runs> drive_killed_runs(loop_peers& peers, unsigned seed, const std::string& error_file)
{
    std::mt19937 moments(seed);
    std::uniform_int_distribution<long> life(shortest_life.count(), longest_life.count());
    std::bernoulli_distribution service_down(down_share);
    stub_reply rejection;
    rejection.kind = stub_reply::reject;
    rejection.code = "down";
    killed_runs runs;
    for (int k = 0; k < kills; ++k) {
        peers.set_run(k);
        // One-shot replies go before the standing mix, whose draws go on undisturbed.
        const bool down = service_down(moments);
        runs.down += down;
        peers.stub.script(down ? std::deque<stub_reply>(down_replies, rejection) : std::deque<stub_reply>{});
        const std::size_t first = peers.simulator.positions_count();
        const pid_t pid = spawn_child(peers.child(std::to_string(k), "killed"), error_file);
        std::this_thread::sleep_for(std::chrono::milliseconds(life(moments))); // the random moment
        kill(pid, SIGKILL);
        if (const int code = exit_code_of(pid); code != 128 + SIGKILL) {
            std::cout << "FAIL: run " << k << " ended by itself with " << code << " before its kill:" << std::endl;
            show_tail(error_file);
            return std::nullopt;
        }
        // A request the child sent just before its end is still answered, and counts to this run.
        if (!peers.simulator.wait_for_no_connections(settle_limit) ||
            !peers.stub.wait_for_no_connections(settle_limit)) {
            std::cout << "FAIL: the peers still had a connection of run " << k << " after "
                      << settle_limit.count() << " s" << std::endl;
            return std::nullopt;
        }
        runs.given.emplace_back(first, peers.simulator.positions_count());
        // What the run had handed over and not yet delivered or dropped, as the next run finds it;
        // a run killed early may not have made the outbox yet.
        if (outbox_file_name().FileExists())
            for (const std::string& body : outbox(outbox_file_name().GetFullPath().ToStdString(wxConvUTF8)).load(1000))
                runs.left_in_outbox.insert(kilometre_of(body));
    }
    return runs;
}

// One more run, with no new positions and the service taking everything, until the store is empty.
bool drain_last_run(loop_peers& peers, const std::string& error_file)
{
    peers.simulator.set_mode(simulator_mode::no_data);
    peers.stub.script({});
    peers.stub.set_reply(stub_reply{});
    peers.set_run(kills);
    if (const int code = exit_code_of(spawn_child(peers.child("last", "drain"), error_file)); code != 0) {
        std::cout << "FAIL: the last run, with the service taking everything, ended with " << code
                  << (code == 1 ? ": messages were still waiting after " + std::to_string(drain_limit.count()) + " s"
                                : "")
                  << std::endl;
        show_tail(error_file);
        return false;
    }
    return true;
}

// What the stub accepted held against what the simulator produced: 0 when it all adds up, else 1
// with the faults printed; the figures printed either way.
int account_for_positions(const std::vector<stub_request>& requests, std::size_t produced, const killed_runs& runs)
{
    int faults = 0;
    auto fault = [&](const std::string& what) {
        if (++faults <= 20)
            std::cout << "FAIL: " << what << std::endl;
    };
    // Every request for a kilometre carries the bytes of its first try; accepted ones come in
    // the order they were made; a kilometre is accepted again only in a later run before any
    // other was tried: the message in flight at a kill, still at the head of the store.
    std::map<long, std::string> first_try;
    std::map<long, int> acceptances;
    std::map<long, int> accepted_in_run;
    long newest_accepted = 0;
    std::size_t duplicates = 0;
    int previous_run = -1;
    long head_of_run = 0;
    bool past_head = false;
    for (const auto& r : requests) {
        if (r.run != previous_run) {
            previous_run = r.run;
            head_of_run = r.km;
            past_head = false;
        }
        past_head = past_head || r.km != head_of_run;
        if (r.km < 1 || r.km > static_cast<long>(produced)) {
            fault("a request for a position the simulator never gave: " + r.body);
            continue;
        }
        if (!first_try.emplace(r.km, r.body).second && first_try[r.km] != r.body)
            fault("km " + std::to_string(r.km) + " was sent with other bytes than at its first try");
        if (!r.accepted)
            continue;
        if (acceptances[r.km]++ > 0) {
            ++duplicates;
            if (past_head || accepted_in_run[r.km] == r.run)
                fault("km " + std::to_string(r.km) + " accepted again, not as the head after a kill");
        } else if (r.km < newest_accepted)
            fault("km " + std::to_string(r.km) + " accepted after km " + std::to_string(newest_accepted));
        newest_accepted = std::max(newest_accepted, r.km);
        accepted_in_run[r.km] = r.run;
    }

    // Missing positions: the newest two of a killed run may never have been handed over, unless
    // one was tried or the run left it in the outbox (such a one was handed over, and may have
    // been dropped later by the rule; a kill during a failing transfer can leave eleven); any other
    // one was dropped by the ten-message rule only if ten newer messages were made before the
    // service next accepted a newer one.
    // ", given in run R (kms A to B)" for a kilometre.
    auto given_in = [&](long km) {
        for (std::size_t k = 0; k < runs.given.size(); ++k)
            if (static_cast<long>(runs.given[k].first) < km && km <= static_cast<long>(runs.given[k].second))
                return ", given in run " + std::to_string(k) + " (kms " + std::to_string(runs.given[k].first + 1) +
                       " to " + std::to_string(runs.given[k].second) + ")";
        return std::string();
    };
    std::set<long> never_handed_over;
    for (const auto& [first, end] : runs.given)
        for (std::size_t n = end; n > first && end - n < lost_per_kill; --n)
            if (!first_try.count(static_cast<long>(n)) && !runs.left_in_outbox.count(static_cast<long>(n)))
                never_handed_over.insert(static_cast<long>(n));
    std::size_t dropped_by_rule = 0;
    for (long km = 1; km <= static_cast<long>(produced); ++km) {
        if (acceptances.count(km) || never_handed_over.count(km))
            continue;
        std::size_t made_by_then = produced;
        for (const auto& r : requests)
            if (r.accepted && r.km > km) {
                made_by_then = r.produced_before;
                break;
            }
        const auto newer_lost = std::distance(never_handed_over.upper_bound(km),
                                              never_handed_over.upper_bound(static_cast<long>(made_by_then)));
        if (static_cast<long>(made_by_then) - km - newer_lost >= static_cast<long>(max_kept_messages))
            ++dropped_by_rule;
        else
            fault("km " + std::to_string(km) + " is missing with fewer than ten newer messages behind it" +
                  given_in(km));
    }
    if (duplicates > static_cast<std::size_t>(kills))
        fault(std::to_string(duplicates) + " duplicates, more than one per kill");
    if (acceptances.empty())
        fault("nothing was accepted");

    std::cout << "kills:                           " << kills << " (" << runs.down
              << " of the runs with the service rejecting everything)\n"
              << "produced (positions given):      " << produced << "\n"
              << "accepted (distinct):             " << acceptances.size() << "\n"
              << "dropped by the ten-message rule: " << dropped_by_rule << "\n"
              << "lost before the hand-off:        " << never_handed_over.size() << " (at most " << lost_per_kill
              << " per kill: the poller's newest record, kept in memory, and one on its way to the store)\n"
              << "duplicates:                      " << duplicates << " (at most 1 per kill)\n"
              << "requests (all answers):          " << requests.size() << std::endl;
    std::cout << (faults == 0 ? "ok" : "FAIL: " + std::to_string(faults) + " faults") << std::endl;
    return faults == 0 ? 0 : 1;
}

int run_loop(unsigned seed)
{
    temp_home home; // the children's too: the environment is inherited
    const std::string error_file = home.path_of("child.err");
    std::cout << "crash loop: seed " << seed << " (delivery_crash_loop " << seed << " repeats the pattern)"
              << std::endl;
    loop_peers peers(seed);
    const auto runs = drive_killed_runs(peers, seed, error_file);
    if (!runs || !drain_last_run(peers, error_file))
        return 1;
    const std::size_t produced = peers.simulator.positions_count();
    return account_for_positions(peers.requests(), produced, *runs);
}
}

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "--child")
        return run_child(args[1], args[2], args[3], args[4] == "drain");
    const unsigned seed = args.empty() ? std::random_device{}() : static_cast<unsigned>(std::stoul(args[0]));
    return run_loop(seed);
}
