// coordinate_simulator [--port N] [data|numbered|nodata|close|hang|short|odd|split|trickle|trailing]
#include <iostream>
#include <memory>

#include "tools/coordinate_simulator.hpp"
#include "tools/peer_main.hpp"

int main(int argc, char** argv)
{
    std::unique_ptr<coordinate_simulator> simulator;
    simulator_mode mode = simulator_mode::data;
    peer_program program{
        "[data|numbered|nodata|close|hang|short|odd|split|trickle|trailing]",
        [&](unsigned short port) {
            simulator = std::make_unique<coordinate_simulator>(port, mode);
            return simulator->port();
        },
        [&](const std::string& command) {
            if (!parse_simulator_mode(command, mode))
                return false;
            if (simulator)
                simulator->set_mode(mode);
            return true;
        },
    };
    return run_peer(argc, argv, program);
}
