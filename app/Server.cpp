// Building and tearing down the server object, starting and stopping it, and owning
// the lifetime of accepted connections.
#include "app/Server.h"

#include <asio.hpp>
#include <cstdio>
#include <filesystem>

#include "app/ListenSocket.h"
#include "http/ConnectionSocket.h"
#include "http/Limits.h"
#include "http/TcpTransport.h"
#include "pages/DemoInstaller.h"
#include "platform/Resources.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "platform/UserFolders.h"

namespace tarnhollow {

namespace {

// A backlog of 5 lets a burst of connections overflow the queue, and the kernel then
// resets some of them; this is the usual size for a server that takes bursts.
constexpr int kListenBacklog = 511;
constexpr unsigned kStringPortInUse = 3024;
constexpr unsigned kStringCannotListen = 3025;

// The notification sound a new blog comment plays; a missing file is silence.
constexpr wchar_t kDefaultBlogSound[] = L"/usr/share/sounds/freedesktop/stereo/message.oga";

std::wstring FormatWithPort(unsigned stringId, uint32_t port) {
    std::string format = LoadStringBytes(stringId);
    std::string out;
    size_t at = format.find("%d");
    out = at == std::string::npos ? format : format.substr(0, at) + std::to_string(port) + format.substr(at + 2);
    return AnsiToWide(out);
}

}  // namespace

CServer::CServer(asio::io_context& io, uint32_t port, const std::wstring& root)
    : io_(io),
      port_(port == 0 ? 80 : port),
      router_(std::make_unique<Router>(site_)),
      deadlines_(io, std::chrono::seconds(limits::kRequestTimeoutSeconds)),
      alive_(std::make_shared<CServer*>(this)) {
    // The GPS reader is built here, before the settings below are read.
    hostName_ = AnsiToWide(tarnhollow::HostName());
    std::wstring documentRoot = root.empty() ? AnsiToWide(DocumentsFolder()) + L"/Tarnhollow" : root;
    if (documentRoot.size() > 1 && documentRoot.back() == L'/') documentRoot.pop_back();
    context_.documentRoot = documentRoot;
    context_.directoryListing = 1;
    context_.router = router_.get();
    // The fixed order of the services. The GPS pages are added first, here, once they exist.
    router_->AddPageService(&remoteControl_);
    router_->AddPageService(&blog_);
    router_->AddFileService(&screenshot_);
    // A new user has no document root yet; serving an empty one beats a 404 for "/".
    std::error_code ignored;
    std::filesystem::create_directories(WideToAnsi(documentRoot), ignored);

    auto key = OpenSettingsKey();
    site_.blogSound = ReadString(key.get(), L"BlogSound", kDefaultBlogSound);
    connectionManager_ = ReadDword(key.get(), L"ConnMgr", 1);
    site_.mapKey = ReadString(key.get(), L"GoogleApiKey", L"");
    // The GPS reader's worker starts here once the reader exists.
}

CServer::~CServer() {
    // The GPS reader's worker is stopped first here, once the reader exists.
    StopServer();
    // The GPS reader saves its last fix as it is destroyed, once it exists.
    alive_.reset();
    for (CConnectionSocket* connection : connections_) delete connection;
    connections_.clear();
}

bool CServer::StartServer(uint32_t port, bool installDemo) {
    if (port != 0) port_ = port;
    // The demo site goes into the document root before the listening socket opens.
    if (installDemo) InstallDemo(context_.documentRoot);
    StopServer();

    bool listening = false;
    listenSocket_ = std::make_unique<CListenSocket>(io_, *this);
    int error = 0;
    if (port_ <= 0xFFFF && listenSocket_->Listen(static_cast<uint16_t>(port_), kListenBacklog, error)) {
        listenSocket_->Select(AsyncSocket::kAccept);
        listening = true;
    } else {
        const std::wstring message =
            error == EADDRINUSE ? FormatWithPort(kStringPortInUse, port_) : FormatWithPort(kStringCannotListen, port_);
        if (reportError_) reportError_(message);
        listenSocket_.reset();
    }

    auto key = OpenSettingsKey();
    // No relay until the user names a relay host: nothing is sent anywhere unasked.
    relayHost_ = ReadString(key.get(), L"ServiceHost", L"");
    if (connectionManager_) {
        // The data connection is brought up here once the connection monitor exists.
    }
    const uint32_t servicePort = ReadDword(key.get(), L"ServicePort", 1212);
    const uint32_t servicePeriod = ReadDword(key.get(), L"ServicePeriod", 20000);
    // The relay service is created here with (relayHost_, servicePort, servicePeriod)
    // once it exists.
    (void)servicePort;
    (void)servicePeriod;
    return listening;
}

void CServer::StopServer() {
    if (listenSocket_) {
        listenSocket_->Close();
        listenSocket_.reset();
    }
    // The relay service is stopped and deleted here once it exists.
    if (connectionManager_) {
        // The data connection is released here once the connection monitor exists.
    }
}

std::wstring CServer::LastBlogPostUrl() const {
    if (site_.lastBlogPostPath.empty()) return std::wstring();
    return L"localhost:" + std::to_wstring(port_) + site_.lastBlogPostPath;
}

void CServer::AdoptConnection(std::unique_ptr<TcpTransport> transport) {
    auto* connection = new CConnectionSocket(&context_, std::move(transport),
                                             [this](CConnectionSocket* c) { Release(c); }, &deadlines_);
    connections_.insert(connection);
    connection->Start();
}

void CServer::Release(CConnectionSocket* connection) {
    // Freed from the event loop, after the notification that ended it has returned.
    asio::post(io_, [token = std::weak_ptr<CServer*>(alive_), connection] {
        auto alive = token.lock();
        if (!alive) return;
        if ((*alive)->connections_.erase(connection)) delete connection;
    });
}

}  // namespace tarnhollow
