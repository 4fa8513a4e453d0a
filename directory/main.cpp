// The directory host program: reads the command line, starts the directory host on one
// event loop, prints its status lines, and ends in order on SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "directory/DirectoryServer.h"

using namespace tarnhollow::directory;

int main(int argc, char** argv) {
    // A browser that resets its connection mid-answer must fail a write, not end us.
    std::signal(SIGPIPE, SIG_IGN);
    // Status lines reach a log or a pipe as they happen.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const DirectoryOptions options = ParseDirectoryOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "tarnhollow-directory: %s\n%s", options.error.c_str(), kDirectoryUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kDirectoryUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("3.1.2.47");
        return 0;
    }

    asio::io_context io;
    DirectoryServer server(io, options, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "tarnhollow-directory: %s\n", error.c_str());
        return 1;
    }
    std::printf("tarnhollow-directory: devices on UDP port %u, browsers on HTTP port %u at %s, positions in %s\n",
                server.UdpPort(), server.HttpPort(), options.bind.c_str(), server.DatabaseFile().c_str());
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& ec, int) {
        if (ec) return;
        server.Stop();
        io.stop();
    });
    io.run();
    std::printf("tarnhollow-directory: stopped\n");
    return 0;
}
