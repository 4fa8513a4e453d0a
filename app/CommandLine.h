// The program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnhollow {

struct CommandLine {
    bool headless = false;
    bool qr = false;
    bool help = false;
    bool version = false;
    std::optional<uint32_t> port;
    std::string root;
    std::string settings;
    // Set when the arguments cannot be understood; says why.
    std::string error;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

inline constexpr char kUsage[] =
    "usage: tarnhollow [--headless] [--qr] [--port N] [--root DIR] [--settings FILE] [--help] [--version]\n"
    "  --headless       run without a window; the status line goes to stdout\n"
    "  --qr             headless, also print the server's address once as a QR code\n"
    "  --port N         serve on port N for this run, without saving it\n"
    "  --root DIR       serve DIR instead of the documents folder's Tarnhollow folder\n"
    "  --settings FILE  keep the settings in FILE\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n";

}  // namespace tarnhollow
