// The directory host as a whole: the NearMe database, the devices' UDP socket and the
// browsers' listening socket on one event loop, and the browsers' connections.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "directory/BrowserConnection.h"
#include "directory/DeviceLink.h"
#include "directory/DirectoryOptions.h"
#include "directory/NearMeStore.h"

namespace tarnhollow::directory {

class DirectoryServer {
public:
    // `status` receives one line per registration change.
    DirectoryServer(asio::io_context& io, const DirectoryOptions& options, DeviceLink::Status status,
                    ChannelTimings timings = {});
    ~DirectoryServer();

    // Opens the database and both sockets; false with `error` naming what failed.
    bool Start(std::string& error);
    // Closes the sockets and ends every connection.
    void Stop();

    uint16_t UdpPort() const { return devices_.Port(); }
    uint16_t HttpPort() const;
    const std::string& DatabaseFile() const { return database_; }

private:
    void Accept();
    void OnFinished(BrowserConnection* connection);

    asio::io_context& io_;
    const DirectoryOptions options_;
    std::string database_;
    NearMeStore positions_;
    DeviceLink devices_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retryTimer_;
    BrowserServices services_;
    struct Held {
        std::shared_ptr<BrowserConnection> connection;
        std::string address;
    };
    // Ownership of every connection until it is finished.
    std::unordered_map<BrowserConnection*, Held> connections_;
    std::unordered_map<std::string, size_t> perAddress_;
};

}  // namespace tarnhollow::directory
