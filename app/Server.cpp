// Building and tearing down the server object, starting and stopping it, and owning
// the lifetime of accepted connections.
#include "app/Server.h"

#include <sys/resource.h>

#include <algorithm>
#include <asio.hpp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/ListenSocket.h"
#include "http/ConnectionSocket.h"
#include "http/Limits.h"
#include "http/UrlMapping.h"
#include "http/Transport.h"
#include "pages/DemoInstaller.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "platform/UserFolders.h"
#include "relay/RelayService.h"

namespace tarnhollow {

namespace {

// A backlog of 5 lets a burst of connections overflow the queue, and the kernel then
// resets some of them; this is the usual size for a server that takes bursts.
constexpr int kListenBacklog = 511;
constexpr unsigned kStringPortInUse = 3024;
// Key presses and captures waiting for the display; more are refused at once.
constexpr size_t kDisplayQueueLimit = 16;
// Thumbnails waiting to be made; a browser asks for a few at a time.
constexpr size_t kThumbnailQueueLimit = 64;
constexpr unsigned kStringCannotListen = 3025;
// The folders whose pages press keys on, and show the screen of, this machine.
constexpr const wchar_t* kLocalOnlyFolders[] = {L"/RemoteControl", L"/ScreenShot"};

// The notification sound a new blog comment plays; a missing file is silence.
constexpr wchar_t kDefaultBlogSound[] = L"/usr/share/sounds/freedesktop/stereo/message.oga";

std::wstring FormatWithPort(unsigned stringId, uint32_t port) {
    std::string format = LoadStringBytes(stringId);
    std::string out;
    size_t at = format.find("%d");
    out = at == std::string::npos ? format : format.substr(0, at) + std::to_string(port) + format.substr(at + 2);
    return AnsiToWide(out);
}

// A connection may hold a socket and a file; a few descriptors stay for the settings
// file, the display and the like.
size_t ConnectionsForDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 4096;
    const size_t descriptors = static_cast<size_t>(limit.rlim_cur);
    return descriptors > 64 ? (descriptors - 32) / 2 : std::max<size_t>(1, descriptors / 4);
}

bool IsEmptyFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_empty(path, error) && !error;
}

}  // namespace

struct CServer::HangupWatch {
    explicit HangupWatch(asio::io_context& io) : signals(io, SIGHUP) {}
    asio::signal_set signals;
};

CServer::CServer(asio::io_context& io, uint32_t port, const std::wstring& root)
    : io_(io),
      port_(port == 0 ? 80 : port),
      router_(std::make_unique<Router>(site_)),
      displayQueue_(io.get_executor(), kDisplayQueueLimit),
      thumbnailQueue_(io.get_executor(), kThumbnailQueueLimit),
      thumbnails_(thumbnailQueue_, CacheFolder() + "thumbnails/"),
      deadlines_(io, std::chrono::seconds(limits::kRequestTimeoutSeconds)),
      lingerDeadlines_(io, std::chrono::milliseconds(limits::kLingerMilliseconds)),
      rootGiven_(!root.empty()),
      alive_(this) {
    // The GPS reader is built here, before the settings below are read.
    gpsReader_ = MakePeriodic<GpsReader>();
    gpsPages_ = std::make_unique<GpsPages>(site_, *gpsReader_);
    // Normalised once, so that every path the server maps starts with exactly this:
    // doubled or trailing separators, "." and ".." and symbolic links resolved, and the
    // file system's root as the empty path.
    std::wstring documentRoot = CanonicalPath(root.empty() ? AnsiToWide(DocumentsFolder()) + L"/Tarnhollow" : root);
    const std::string rootBytes = WideToAnsi(documentRoot);
    // A new user has no document root yet; serving an empty one beats a 404 for "/".
    std::error_code error;
    if (!std::filesystem::exists(rootBytes, error)) {
        rootCreated_ = std::filesystem::create_directories(rootBytes, error);
        if (error) rootError_ = error.message();
    }
    if (auto resolved = ResolvedPath(rootBytes)) documentRoot = AnsiToWide(*resolved);
    if (!documentRoot.empty() && documentRoot.back() == L'/') documentRoot.pop_back();
    context_.documentRoot = documentRoot;
    context_.directoryListing = 1;
    context_.router = router_.get();
    context_.clients = this;
    guard_ = std::make_unique<AccessGuard>(io, documentRoot);
    guard_->SetLocalOnlyFolders({std::begin(kLocalOnlyFolders), std::end(kLocalOnlyFolders)});
    guard_->SetReporter([this](const std::wstring& message) {
        if (reportNotice_) reportNotice_(message);
    });
    context_.guard = guard_.get();
    hangup_ = std::make_unique<HangupWatch>(io);
    AwaitHangup();
    // The fixed order of the services. The GPS pages are added first.
    router_->AddPageService(gpsPages_.get());
    router_->AddPageService(&remoteControl_);
    router_->AddPageService(&blog_);
    router_->AddFileService(&screenshot_);
    router_->SetThumbnailService(&thumbnails_);

    auto key = OpenSettingsKey();
    site_.blogSound = ReadString(key.get(), L"BlogSound", kDefaultBlogSound);
    // Whether the data connection is brought up with the server. Its failures are shown
    // on the server thread, and only while this object lives.
    connMgr_ = ReadDword(key.get(), L"ConnMgr", 1) != 0;
    auto showConnectionError = alive_.Guard([this](uint32_t status) {
        if (reportConnectionError_) reportConnectionError_(status);
    });
    dataConnection_ = std::make_unique<CDataConnection>(
        connectionManager_, [server = io.get_executor(), showConnectionError](uint32_t status) {
            PostToServer(server, [showConnectionError, status]() mutable { showConnectionError(status); });
        });
    reachable_ = std::make_unique<ReachableAddress>(io.get_executor());
    relayRegistration_ = MakePeriodic<RelayRegistration>(
        io.get_executor(), ResolveHostAddress, alive_.Guard([this](const Ipv4Endpoint& directoryHost) {
            if (relay_) relay_->OnRegistrationDue(directoryHost);
        }));
    site_.mapKey = ReadString(key.get(), L"GoogleApiKey", L"");
    // 0: as many as the descriptor limit allows.
    const uint32_t maxConnections = ReadDword(key.get(), L"MaxConnections", 0);
    maxConnections_ = maxConnections ? maxConnections : ConnectionsForDescriptorLimit();
    // 0: no bound per client address.
    maxConnectionsPerClient_ = ReadDword(key.get(), L"MaxConnectionsPerClient", 64);
    // The GPS reader's worker starts here.
    gpsReader_->StartReading();
}

CServer::~CServer() {
    asio::error_code ignored;
    hangup_->signals.cancel(ignored);
    // The GPS reader's worker is stopped first here.
    gpsReader_->StopWorker();
    StopServer();
    // The GPS reader saves its last fix as it is destroyed, once its loop has ended.
    gpsPages_.reset();
    gpsReader_.reset();
    alive_.Expire();
    for (auto& [connection, address] : connections_) delete connection;
    connections_.clear();
}

bool CServer::StartServer(uint32_t port, bool installDemo) {
    if (port != 0) port_ = port;
    const std::wstring& root = context_.documentRoot;
    const std::string rootPath = root.empty() ? "/" : WideToAnsi(root);
    if (FileAttributes(rootPath) != kAttributeFolder) {
        StopServer();
        if (reportError_) {
            reportError_(rootError_.empty()
                             ? L"The document root " + AnsiToWide(rootPath) + L" is not a folder; choose a folder with --root DIR."
                             : L"Cannot create the document root " + AnsiToWide(rootPath) + L": " + AnsiToWide(rootError_) + L".");
        }
        return false;
    }
    // The demo site goes into the document root before the listening socket opens, but
    // never among a user's own files in a folder of their choosing.
    if (installDemo && DemoWelcome()) {
        InstallDemo(root);
    } else if (installDemo && reportNotice_) {
        reportNotice_(L"The demo site was not installed into " + AnsiToWide(rootPath) +
                      L", which holds files of its own. To get it, set CreateDemo = 0 in " +
                      AnsiToWide(SettingsFile()) + L" and start with an empty folder as the root.");
    }
    StopServer();

    bool listening = false;
    listenSocket_ = std::make_unique<CListenSocket>(io_, *this);
    int error = 0;
    if (port_ <= 0xFFFF && listenSocket_->Listen(static_cast<uint16_t>(port_), kListenBacklog, error)) {
        listenSocket_->Select(AsyncSocket::kAccept);
        listening = true;
    } else {
        std::wstring message = error == EADDRINUSE ? FormatWithPort(kStringPortInUse, port_)
                                                   : FormatWithPort(kStringCannotListen, port_);
        if (error == EADDRINUSE && !portInUseHint_.empty()) message += L"\n" + portInUseHint_;
        if (reportError_) reportError_(message);
        listenSocket_.reset();
    }

    if (listening) {
        OpenAccessLog();
        ReportLocalOnlyServices();
    }
    if (listening && connMgr_) dataConnection_->StartConnection();
    // The relay service, from these settings; nothing is sent while ServiceHost is
    // empty, its default.
    auto key = OpenSettingsKey();
    const std::wstring serviceHost = ReadString(key.get(), L"ServiceHost", L"");
    reachable_->SetRelayHost(serviceHost);
    const uint32_t servicePort = ReadDword(key.get(), L"ServicePort", 1212);
    const uint32_t servicePeriod = ReadDword(key.get(), L"ServicePeriod", 20000);
    if (listening) {
        relayRegistration_->SetDirectoryHost(WideToAnsi(serviceHost), static_cast<uint16_t>(servicePort));
        relay_ = std::make_unique<RelayService>(
            io_, *relayRegistration_, static_cast<int32_t>(std::min<uint32_t>(servicePeriod, INT32_MAX)),
            [this](std::unique_ptr<Transport> transport) { AdoptConnection(std::move(transport)); });
        int relayError = 0;
        if (!relay_->Start(relayError)) relay_.reset();
    }
    return listening;
}

void CServer::StopServer() {
    if (listenSocket_) {
        listenSocket_->Close();
        listenSocket_.reset();
    }
    // The relay service is stopped and deleted, then the data connection is released
    // when ConnMgr asked for it. Relayed requests still answering lose their channel.
    relay_.reset();
    if (connMgr_ && dataConnection_) dataConnection_->Disconnect();
}

void CServer::OpenAccessLog() {
    auto key = OpenSettingsKey();
    const std::string path = WideToAnsi(ReadString(key.get(), L"AccessLog", L""));
    key.reset();
    if (path.empty()) {
        context_.accessLog = nullptr;
        accessLog_.reset();
        return;
    }
    int error = 0;
    if (accessLogFile_.IsOpen() && accessLogFile_.Path() == path) return;
    if (!accessLogFile_.Open(path, error)) {
        if (reportNotice_) {
            reportNotice_(L"Cannot open the access log " + AnsiToWide(path) + L": " + AnsiToWide(std::strerror(error)) +
                          L"; requests are not logged.");
        }
        context_.accessLog = nullptr;
        return;
    }
    accessLog_ = std::make_unique<AccessLog>(accessLogFile_);
    context_.accessLog = accessLog_.get();
}

void CServer::AwaitHangup() {
    hangup_->signals.async_wait(alive_.Guard([this](const asio::error_code& error, int) {
        if (error) return;
        // A log rotation has moved the file away: write to a new one under its name.
        int ignored = 0;
        if (accessLogFile_.IsOpen()) accessLogFile_.Reopen(ignored);
        AwaitHangup();
    }));
}

void CServer::ReportLocalOnlyServices() {
    std::wstring open;
    for (const wchar_t* folder : kLocalOnlyFolders) {
        const std::wstring path = context_.documentRoot + folder;
        if (FileAttributes(WideToAnsi(path)) != kAttributeFolder || guard_->IsProtected(folder)) continue;
        open += (open.empty() ? L"" : L" and ") + std::wstring(folder + 1) + L"/";
    }
    if (!open.empty() && reportNotice_) {
        reportNotice_(L"Only this machine may use " + open +
                      L" until a .pass file (made with htpasswd -B) protects it; see the README.");
    }
}

void CServer::SetPublicName(std::wstring_view hostName) {
    gpsReader_->SetPublicName(hostName);
    if (relay_) relay_->SetPublicName(hostName);
}

std::wstring CServer::LastBlogPostUrl() const {
    if (site_.lastBlogPostPath.empty()) return std::wstring();
    return L"localhost:" + std::to_wstring(port_) + site_.lastBlogPostPath;
}

bool CServer::DemoWelcome() const {
    if (context_.documentRoot.empty()) return false;
    const std::string root = WideToAnsi(context_.documentRoot);
    if (!rootGiven_ || rootCreated_ || IsEmptyFolder(root)) return true;
    // A folder an earlier version put the demo into gets the new version's demo.
    for (std::string_view name : kDemoFiles) {
        std::string path = root + "/" + std::string(name);
        std::replace(path.begin(), path.end(), '\\', '/');
        if (FileAttributes(path) >= 0) return true;
    }
    return false;
}

void CServer::AdoptConnection(std::unique_ptr<Transport> transport) {
    std::wstring address = transport->PeerAddress();
    ClientUsage& usage = clients_[address];
    if (maxConnectionsPerClient_ != 0 && usage.connections >= maxConnectionsPerClient_) {
        // Closed as the transport goes: one address cannot take every descriptor.
        return;
    }
    ++usage.connections;
    auto* connection = new CConnectionSocket(&context_, std::move(transport),
                                             [this](CConnectionSocket* c) { Release(c); }, &deadlines_,
                                             &lingerDeadlines_);
    connections_.emplace(connection, std::move(address));
    connection->Start();
}

void CServer::Release(CConnectionSocket* connection) {
    // Freed from the event loop, after the notification that ended it has returned.
    asio::post(io_, alive_.Guard([this, connection] {
        auto found = connections_.find(connection);
        if (found == connections_.end()) return;
        const std::wstring address = std::move(found->second);
        connections_.erase(found);
        delete connection;
        auto usage = clients_.find(address);
        if (usage != clients_.end() && --usage->second.connections == 0 && usage->second.bodyBytes == 0) {
            clients_.erase(usage);
        }
        if (listenSocket_) listenSocket_->ResumeAccepting();
    }));
}

bool CServer::ReserveBody(const std::wstring& address, long long bytes) {
    ClientUsage& usage = clients_[address];
    if (usage.bodyBytes + bytes > limits::kMaxBodyBytesPerClient) return false;
    usage.bodyBytes += bytes;
    return true;
}

void CServer::ReleaseBody(const std::wstring& address, long long bytes) {
    auto usage = clients_.find(address);
    if (usage == clients_.end()) return;
    usage->second.bodyBytes -= bytes;
    if (usage->second.bodyBytes <= 0 && usage->second.connections == 0) clients_.erase(usage);
}

}  // namespace tarnhollow
