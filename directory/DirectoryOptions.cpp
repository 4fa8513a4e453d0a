// Parsing the directory host's command line.
#include "directory/DirectoryOptions.h"

#include <string_view>

#include <asio/ip/address.hpp>

#include "directory/WholeNumbers.h"

namespace tarnhollow::directory {

DirectoryOptions ParseDirectoryOptions(int argc, const char* const* argv) {
    DirectoryOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string value;
        const bool takesValue =
            arg == "--udp-port" || arg == "--http-port" || arg == "--bind" || arg == "--db" || arg == "--period";
        if (takesValue) {
            if (i + 1 >= argc) {
                options.error = std::string(arg) + " needs a value";
                return options;
            }
            value = argv[++i];
        }
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--udp-port" || arg == "--http-port") {
            if (!ParseWholeNumber(value, 0, 65535, number)) {
                options.error = std::string(arg) + " takes a number from 0 to 65535";
                return options;
            }
            (arg == "--udp-port" ? options.udpPort : options.httpPort) = static_cast<uint16_t>(number);
        } else if (arg == "--bind") {
            asio::error_code ec;
            asio::ip::make_address(value, ec);
            if (ec) {
                options.error = "--bind takes an IPv4 or IPv6 address";
                return options;
            }
            options.bind = value;
        } else if (arg == "--db") {
            if (value.empty()) {
                options.error = "--db needs a file name";
                return options;
            }
            options.database = value;
        } else if (arg == "--period") {
            if (!ParseWholeNumber(value, 10, 3600000, number)) {
                options.error = "--period takes milliseconds from 10 to 3600000";
                return options;
            }
            options.periodMilliseconds = static_cast<int>(number);
        } else {
            options.error = "unknown argument: " + std::string(arg);
            return options;
        }
    }
    return options;
}

}  // namespace tarnhollow::directory
