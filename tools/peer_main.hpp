#pragma once
// The shared life of the two peer programs: "--port N" (0 or none: any free port), then an
// initial command; the chosen port as the first line on stdout; one command per stdin line
// while running; SIGINT or SIGTERM ends the program.
#include <functional>
#include <string>

struct peer_program {
    const char* usage;
    // Starts the peer on the port and gives the port it listens on.
    std::function<unsigned short(unsigned short port)> start;
    // Applies one command; false when it is not understood.
    std::function<bool(const std::string& command)> apply;
};

int run_peer(int argc, char** argv, const peer_program& program);
