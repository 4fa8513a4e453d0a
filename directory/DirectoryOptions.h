// The directory host's command line.
#pragma once

#include <cstdint>
#include <string>

#include "directory/DirectoryLimits.h"

namespace tarnhollow::directory {

struct DirectoryOptions {
    uint16_t udpPort = kDefaultUdpPort;
    uint16_t httpPort = kDefaultHttpPort;
    std::string bind = "0.0.0.0";
    std::string database;  // empty: the state folder's directory.sqlite
    int periodMilliseconds = kDefaultPeriodMilliseconds;
    bool help = false;
    bool version = false;
    // Set when the arguments cannot be understood; says why.
    std::string error;
};

DirectoryOptions ParseDirectoryOptions(int argc, const char* const* argv);

inline constexpr char kDirectoryUsage[] =
    "usage: tarnhollow-directory [--udp-port N] [--http-port N] [--bind ADDRESS] [--db FILE]\n"
    "                            [--period MS] [--help] [--version]\n"
    "  --udp-port N    take devices' registrations and relay datagrams on UDP port N (1212)\n"
    "  --http-port N   take browsers' requests and NearMe on TCP port N (8080)\n"
    "                  (0 for either picks a free port; the status line names it)\n"
    "  --bind ADDRESS  listen on this local address only (0.0.0.0; :: for IPv6 too)\n"
    "  --db FILE       keep NearMe positions in this SQLite file\n"
    "                  (the state folder's directory.sqlite)\n"
    "  --period MS     the devices' registration period (20000); a name expires after\n"
    "                  three periods without one\n"
    "  --help          show this text\n"
    "  --version       show the program's version\n";

}  // namespace tarnhollow::directory
