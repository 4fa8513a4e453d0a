// The server object: document root, host name and port, the listening socket while the
// server runs, the strings the pages use, and the connections it has accepted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "http/RequestDeadlines.h"
#include "http/ServerContext.h"
#include "pages/BlogService.h"
#include "pages/RemoteControlService.h"
#include "pages/Router.h"
#include "pages/ScreenshotService.h"
#include "pages/SiteState.h"
#include "platform/KeyInjector.h"
#include "platform/ScreenCapture.h"
#include "platform/SoundPlayer.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class CListenSocket;
class CConnectionSocket;
class TcpTransport;

class CServer {
public:
    // Shows a start error to the user (a dialog box, or stderr without a window).
    using ErrorReporter = std::function<void(const std::wstring& message)>;

    // `port` 0 means 80 until a start supplies one; an empty `root` means the documents
    // folder joined with "Tarnhollow".
    CServer(asio::io_context& io, uint32_t port, const std::wstring& root);
    ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Opens the listening socket on `port` (when non-zero); true when listening works.
    bool StartServer(uint32_t port, bool installDemo);
    void StopServer();

    // "localhost:<port><path>" of the last blog post, or empty when none was recorded.
    std::wstring LastBlogPostUrl() const;
    void ClearLastBlogPost() { site_.lastBlogPostPath.clear(); }

    // Takes an accepted connection's transport and starts serving it.
    void AdoptConnection(std::unique_ptr<TcpTransport> transport);

    void SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }
    void SetRouter(ContentRouter* router) { context_.router = router; }

    bool IsListening() const { return listenSocket_ != nullptr; }
    uint32_t Port() const { return port_; }
    const std::wstring& DocumentRoot() const { return context_.documentRoot; }

    // The blog sound, map key and last blog post the pages use.
    SiteState& Site() { return site_; }
    // Services register here once, before the server starts.
    Router& PageRouter() { return *router_; }

private:
    void Release(CConnectionSocket* connection);

    asio::io_context& io_;
    std::wstring hostName_;
    uint32_t port_;
    ServerContext context_;
    std::unique_ptr<CListenSocket> listenSocket_;
    std::wstring relayHost_;
    uint32_t connectionManager_ = 1;
    SiteState site_;
    std::unique_ptr<Router> router_;
    // The built-in services and what they act on; the router offers them requests.
    KeyInjector keyInjector_;
    ScreenCapture screenCapture_;
    SoundPlayer soundPlayer_;
    RemoteControlService remoteControl_{site_, keyInjector_};
    BlogService blog_{site_, soundPlayer_};
    ScreenshotService screenshot_{site_, screenCapture_};
    ErrorReporter reportError_;
    RequestDeadlines deadlines_;
    // Every connection owns itself; this set only lets the ones still open at exit be
    // freed, and is the one place where connections are deleted.
    std::unordered_set<CConnectionSocket*> connections_;
    std::shared_ptr<CServer*> alive_;
};

}  // namespace tarnhollow
