// Parsing the command line.
#include "app/CommandLine.h"

#include <cstdlib>
#include <string_view>

namespace tarnhollow {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                line.error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "--headless") {
            line.headless = true;
        } else if (arg == "--qr") {
            line.qr = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--root") {
            if (!value(line.root)) return line;
        } else if (arg == "--settings") {
            if (!value(line.settings)) return line;
        } else if (arg == "--port") {
            std::string text;
            if (!value(text)) return line;
            char* end = nullptr;
            unsigned long port = std::strtoul(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || port < 1 || port > 65535) {
                line.error = "--port takes a number from 1 to 65535";
                return line;
            }
            line.port = static_cast<uint32_t>(port);
        } else {
            line.error = "unknown argument: " + std::string(arg);
            return line;
        }
    }
    return line;
}

}  // namespace tarnhollow
