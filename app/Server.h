// The server object: document root, host name and port, the listening socket while the
// server runs, the strings the pages use, and the connections it has accepted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "gps/GpsReader.h"
#include "http/AccessGuard.h"
#include "http/AccessLog.h"
#include "http/RequestDeadlines.h"
#include "net/ConnectionMonitor.h"
#include "net/ReachableAddress.h"
#include "http/ServerContext.h"
#include "pages/BlogService.h"
#include "pages/GpsPages.h"
#include "pages/RemoteControlService.h"
#include "pages/Router.h"
#include "pages/ScreenshotService.h"
#include "pages/SiteState.h"
#include "pages/ThumbnailService.h"
#include "platform/AliveToken.h"
#include "platform/BackgroundQueue.h"
#include "platform/KeyInjector.h"
#include "platform/LogFile.h"
#include "platform/ScreenCapture.h"
#include "platform/SoundPlayer.h"
#include "relay/RelayRegistration.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class CListenSocket;
class CConnectionSocket;
class RelayService;
class Transport;

class CServer : private ClientBudget {
public:
    // Shows a start error to the user (a dialog box, or stderr without a window), or a
    // notice that is not an error.
    using ErrorReporter = std::function<void(const std::wstring& message)>;

    // `port` 0 means 80 until a start supplies one; an empty `root` means the documents
    // folder joined with "Tarnhollow" (created when missing).
    CServer(asio::io_context& io, uint32_t port, const std::wstring& root);
    ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Opens the listening socket on `port` (when non-zero); true when listening works.
    // Refuses, with a message, to serve a document root that is not a folder.
    bool StartServer(uint32_t port, bool installDemo);
    void StopServer();

    // "localhost:<port><path>" of the last blog post, or empty when none was recorded.
    std::wstring LastBlogPostUrl() const;
    void ClearLastBlogPost() { site_.lastBlogPostPath.clear(); }

    // Takes a new connection's transport (an accepted TCP socket, or a relayed request)
    // and starts serving it; one from a client address that holds its share of
    // connections already is closed at once.
    void AdoptConnection(std::unique_ptr<Transport> transport);
    // False while the server holds as many connections as it may; the listener then
    // leaves new ones waiting in the backlog until one ends.
    bool HasRoomForConnection() const { return connections_.size() < maxConnections_; }

    void SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }
    void SetNoticeReporter(ErrorReporter reporter) { reportNotice_ = std::move(reporter); }
    // How the user chooses another port, said after "Port P is already in use!".
    void SetPortInUseHint(std::wstring hint) { portInUseHint_ = std::move(hint); }

    // The address the dynamic DNS name should point to: the relay directory host's once
    // resolved, else `adapterAddress`. Never waits: the resolution runs on a worker.
    std::wstring ResolveReachableAddress(const std::wstring& adapterAddress) {
        return reachable_->ResolveReachableAddress(adapterAddress);
    }
    // The registered dynamic DNS name (empty: none) for the NearMe update and, while the
    // server runs, the relay's registration (an empty name stops it).
    void SetPublicName(std::wstring_view hostName);
    // The relay service while the server runs, else null.
    RelayService* Relay() { return relay_.get(); }
    // Shows that the data connection failed with `status`; called on the server thread.
    void SetConnectionErrorReporter(std::function<void(uint32_t status)> reporter) {
        reportConnectionError_ = std::move(reporter);
    }

    bool IsListening() const { return listenSocket_ != nullptr; }
    uint32_t Port() const { return port_; }
    const std::wstring& DocumentRoot() const { return context_.documentRoot; }

    // The blog sound, map key and last blog post the pages use.
    SiteState& Site() { return site_; }
    // Services register here once, before the server starts.
    Router& PageRouter() { return *router_; }

private:
    void Release(CConnectionSocket* connection);
    bool ReserveBody(const std::wstring& address, long long bytes) override;
    void ReleaseBody(const std::wstring& address, long long bytes) override;
    // Whether the demo site may go into the document root: the default one, a folder
    // that is empty or was made by this start, or one that holds an earlier demo.
    bool DemoWelcome() const;
    // Opens the access log the AccessLog setting names (none when empty).
    void OpenAccessLog();
    void AwaitHangup();
    // Says at start which services answer only this machine, for want of a .pass.
    void ReportLocalOnlyServices();

    asio::io_context& io_;
    uint32_t port_;
    ServerContext context_;
    std::unique_ptr<CListenSocket> listenSocket_;
    SiteState site_;
    std::unique_ptr<Router> router_;
    // The built-in services and what they act on; the router offers them requests. The
    // display is used from the queue's thread alone; the queue goes before the key
    // injector and the capture, and its jobs touch nothing else of the server.
    KeyInjector keyInjector_;
    ScreenCapture screenCapture_;
    SoundPlayer soundPlayer_;
    BackgroundQueue displayQueue_;
    // The one GPS reader, built and started with the server and destroyed (saving its
    // track) with it, and the pages that show what it read.
    std::unique_ptr<Periodic<GpsReader>> gpsReader_;
    std::unique_ptr<GpsPages> gpsPages_;
    RemoteControlService remoteControl_{site_, keyInjector_, displayQueue_};
    BlogService blog_{site_, soundPlayer_};
    ScreenshotService screenshot_{site_, screenCapture_, displayQueue_};
    // Pictures are decoded on their own thread, so a large one never delays a key press.
    BackgroundQueue thumbnailQueue_;
    ThumbnailService thumbnails_;
    ErrorReporter reportError_;
    // The data connection held while the server runs, when ConnMgr asks for it, and the
    // relay directory host's resolved address, kept for the life of this object.
    bool connMgr_ = true;
    std::function<void(uint32_t status)> reportConnectionError_;
    AlwaysConnected connectionManager_;
    std::unique_ptr<CDataConnection> dataConnection_;
    std::unique_ptr<ReachableAddress> reachable_;
    // The relay service while the server runs. Its registration worker lives as long as
    // this object, so stopping the server never waits for a tick's name lookup.
    std::unique_ptr<Periodic<RelayRegistration>> relayRegistration_;
    std::unique_ptr<RelayService> relay_;
    ErrorReporter reportNotice_;
    std::wstring portInUseHint_;
    RequestDeadlines deadlines_;
    RequestDeadlines lingerDeadlines_;
    // Folder passwords, and the remote control and screenshot for this machine alone
    // while no .pass protects them.
    std::unique_ptr<AccessGuard> guard_;
    // The access log while the AccessLog setting names one; SIGHUP opens it again.
    LogFile accessLogFile_;
    std::unique_ptr<AccessLog> accessLog_;
    struct HangupWatch;
    std::unique_ptr<HangupWatch> hangup_;
    // The root was given on the command line (not the default), and whether this start
    // made the folder.
    bool rootGiven_ = false;
    bool rootCreated_ = false;
    std::string rootError_;
    size_t maxConnections_ = 1;
    uint32_t maxConnectionsPerClient_ = 64;
    struct ClientUsage {
        uint32_t connections = 0;
        long long bodyBytes = 0;
    };
    std::unordered_map<std::wstring, ClientUsage> clients_;
    // Every connection owns itself; this map only lets the ones still open at exit be
    // freed, and is the one place where connections are deleted. It holds each one's
    // client address, counted in `clients_`.
    std::unordered_map<CConnectionSocket*, std::wstring> connections_;
    AliveToken<CServer> alive_;
};

}  // namespace tarnhollow
