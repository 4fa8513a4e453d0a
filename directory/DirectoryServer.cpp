// Starting the directory host's parts, accepting browsers within the limits, and
// letting connections go in one place.
#include "directory/DirectoryServer.h"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>

#include "platform/UserFolders.h"

namespace tarnhollow::directory {

DirectoryServer::DirectoryServer(asio::io_context& io, const DirectoryOptions& options, DeviceLink::Status status,
                                 ChannelTimings timings)
    : io_(io),
      options_(options),
      database_(options.database.empty() ? StateFolder() + "directory.sqlite" : options.database),
      devices_(io, std::chrono::milliseconds(options.periodMilliseconds), timings, std::move(status)),
      acceptor_(io),
      retryTimer_(io),
      services_{devices_, positions_, [this](BrowserConnection* connection) { OnFinished(connection); }} {}

DirectoryServer::~DirectoryServer() { Stop(); }

bool DirectoryServer::Start(std::string& error) {
    if (!positions_.Open(database_, error)) {
        error = database_ + ": " + error;
        return false;
    }
    const asio::ip::address address = asio::ip::make_address(options_.bind);
    if (!devices_.Open(address, options_.udpPort, error)) return false;
    asio::error_code ec;
    const asio::ip::tcp::endpoint endpoint(address, options_.httpPort);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec && address.is_v6()) acceptor_.set_option(asio::ip::v6_only(false), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "HTTP port " + std::to_string(options_.httpPort) + ": " + ec.message();
        return false;
    }
    Accept();
    return true;
}

uint16_t DirectoryServer::HttpPort() const {
    asio::error_code ec;
    const auto endpoint = acceptor_.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void DirectoryServer::Stop() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    retryTimer_.cancel();
    devices_.Close();
    auto connections = std::move(connections_);
    connections_.clear();
    for (auto& [pointer, held] : connections) held.connection->Abort();
    perAddress_.clear();
}

void DirectoryServer::Accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (!ec) {
            asio::error_code peerError;
            const auto peer = socket.remote_endpoint(peerError);
            const std::string address = peerError ? std::string() : peer.address().to_string();
            // Past a limit the connection is closed unanswered: an answer would cost as
            // much as the flood it meets.
            if (!peerError && connections_.size() < kMaxConnections &&
                perAddress_[address] < kMaxConnectionsPerAddress) {
                ++perAddress_[address];
                auto connection = std::make_shared<BrowserConnection>(std::move(socket), services_);
                connections_.emplace(connection.get(), Held{connection, address});
                connection->Start();
            } else if (perAddress_.count(address) && perAddress_[address] == 0) {
                perAddress_.erase(address);
            }
            Accept();
            return;
        }
        // Out of descriptors, most likely: try again a little later rather than spin.
        retryTimer_.expires_after(std::chrono::milliseconds(100));
        retryTimer_.async_wait([this](const asio::error_code& waited) {
            if (!waited) Accept();
        });
    });
}

void DirectoryServer::OnFinished(BrowserConnection* connection) {
    // Let go from the event loop, never inside the connection's own call.
    asio::post(io_, [this, connection] {
        const auto found = connections_.find(connection);
        if (found == connections_.end()) return;
        const std::string address = found->second.address;
        if (--perAddress_[address] == 0) perAddress_.erase(address);
        connections_.erase(found);
    });
}

}  // namespace tarnhollow::directory
