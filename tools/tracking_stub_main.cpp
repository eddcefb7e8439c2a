// tracking_stub [--port N]
//     [accept | reject CODE [REASON] | http STATUS | redirect | gzip | malformed | nested [LEVELS] | oversized
//      | hang | slow [MILLISECONDS] | mix SEED]
// Prints every message it receives, complete, to stdout.
#include <iostream>
#include <memory>

#include "tools/peer_main.hpp"
#include "tools/tracking_stub.hpp"

int main(int argc, char** argv)
{
    std::unique_ptr<tracking_stub> stub;
    stub_reply reply;
    peer_program program{
        "[accept | reject CODE [REASON] | http STATUS | redirect | gzip | malformed | nested [LEVELS] | oversized | "
        "hang | slow [MILLISECONDS] | mix SEED]",
        [&](unsigned short port) {
            stub = std::make_unique<tracking_stub>(port, [](const received_request& request) {
                std::cout << "POST " << request.target << '\n' << request.body << std::flush;
            });
            stub->set_reply(reply);
            return stub->port();
        },
        [&](const std::string& command) {
            if (!parse_stub_reply(command, reply))
                return false;
            if (stub)
                stub->set_reply(reply);
            return true;
        },
    };
    return run_peer(argc, argv, program);
}
