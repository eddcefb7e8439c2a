#include "tools/peer_main.hpp"

#include <iostream>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

int run_peer(int argc, char** argv, const peer_program& program)
{
    unsigned long port = 0;
    std::string initial;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc)
            port = std::stoul(argv[++i]);
        else
            initial += (initial.empty() ? "" : " ") + arg;
    }
    if (port > 65535 || (!initial.empty() && !program.apply(initial))) {
        std::cerr << "usage: " << argv[0] << " [--port N] " << program.usage << '\n';
        return 2;
    }

    boost::asio::io_context signals_context;
    boost::asio::signal_set signals(signals_context, SIGINT, SIGTERM);
    signals.async_wait([](const boost::system::error_code&, int) {});

    std::cout << program.start(static_cast<unsigned short>(port)) << std::endl;

    // Commands arrive on stdin; at its end the peer keeps running until a signal.
    std::thread([&program] {
        for (std::string line; std::getline(std::cin, line);)
            if (!line.empty() && !program.apply(line))
                std::cerr << "unknown command: " << line << std::endl;
    }).detach();

    signals_context.run();
    return 0;
}
