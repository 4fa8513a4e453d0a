// The main dialog's algorithms, independent of how the dialog is shown.
#include "app/MainDialog.h"

#include <asio.hpp>
#include <cstdio>

#include "net/Addresses.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// "3.1.2.47" packed as a<<24 | b<<16 | c<<8 | d.
uint32_t PackedVersion() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf("3.1.2.47", "%u.%u.%u.%u", &a, &b, &c, &d);
    return (a << 24) | ((b & 0xFF) << 16) | ((c & 0xFF) << 8) | (d & 0xFF);
}

}  // namespace

struct CMainDialog::Timer {
    explicit Timer(asio::io_context& io) : timer(io) {}
    asio::steady_timer timer;
    bool running = false;
    // The timer's handler holds a weak reference: a tick already queued when the
    // dialog goes never touches it.
    std::shared_ptr<CMainDialog*> owner;
};

CMainDialog::CMainDialog(asio::io_context& io, View& view, const std::wstring& documentRoot)
    : io_(io), view_(view), server_(io, 0, documentRoot), timer_(std::make_unique<Timer>(io)) {
    // The dynamic DNS updater is built here, before the server, once it exists.
    server_.SetErrorReporter([this](const std::wstring& message) { view_.ShowError(message); });
    server_.SetNoticeReporter([this](const std::wstring& message) { view_.ShowNotice(message); });
    timer_->owner = std::make_shared<CMainDialog*>(this);
}

CMainDialog::~CMainDialog() {
    Stop();
    timer_->owner.reset();
}

bool CMainDialog::LoadAndStart(std::optional<uint32_t> portOverride) {
    {
        auto key = OpenSettingsKey();
        fields_.port = ReadDword(key.get(), L"Port", 8080);
        fields_.enable = ReadDword(key.get(), L"Enable", 1) != 0;
        // The dynamic DNS fields (Name, User, Pass, Domain) are read here once the
        // updater exists.
    }
    StartTimer();
    bool failed;
    if (portOverride) {
        fields_.port = *portOverride;
        fields_.enable = true;
        failed = StartOrStop(*portOverride);
    } else {
        failed = StartOrStop(fields_.enable ? fields_.port : 0);
    }
    // An address is shown only once the server can be reached there.
    if (!failed) RefreshStatus();
    // The registered name goes to the NearMe updater and the relay here once they exist.
    return !failed;
}

bool CMainDialog::StartOrStop(uint32_t requestedPort) {
    if (requestedPort == 0) {
        if (serverRunning_) {
            server_.StopServer();
            serverRunning_ = false;
            runningPort_ = 0;
        }
        return false;
    }
    if (serverRunning_ && requestedPort == runningPort_) return false;
    if (serverRunning_) server_.StopServer();
    auto key = OpenSettingsKey();
    const uint32_t version = PackedVersion();
    const bool installDemo = ReadDword(key.get(), L"CreateDemo", 0) < version;
    serverRunning_ = server_.StartServer(requestedPort, installDemo);
    WriteDword(key.get(), L"CreateDemo", version);
    runningPort_ = serverRunning_ ? requestedPort : 0;
    return !serverRunning_;
}

void CMainDialog::Save(const DialogFields& fields) {
    fields_ = fields;
    const bool failed = StartOrStop(fields_.enable ? fields_.port : 0);
    if (failed) return;
    auto key = OpenSettingsKey();
    WriteDword(key.get(), L"Port", fields_.port);
    WriteDword(key.get(), L"Enable", fields_.enable ? 1 : 0);
    RefreshStatus();
}

void CMainDialog::PostSave(const DialogFields& fields) {
    asio::post(io_, [token = std::weak_ptr<CMainDialog*>(timer_->owner), fields] {
        if (auto owner = token.lock()) (*owner)->Save(fields);
    });
}

void CMainDialog::PostStop() {
    asio::post(io_, [token = std::weak_ptr<CMainDialog*>(timer_->owner)] {
        if (auto owner = token.lock()) (*owner)->Stop();
    });
}

void CMainDialog::Stop() {
    if (serverRunning_) {
        server_.StopServer();
        serverRunning_ = false;
        runningPort_ = 0;
    }
    timer_->running = false;
    timer_->timer.cancel();
}

void CMainDialog::StartTimer() {
    timer_->running = true;
    timer_->timer.expires_after(std::chrono::seconds(1));
    timer_->timer.async_wait([token = std::weak_ptr<CMainDialog*>(timer_->owner)](const asio::error_code& ec) {
        auto owner = token.lock();
        if (!owner || ec == asio::error::operation_aborted || !(*owner)->timer_->running) return;
        (*owner)->OnTimer();
        (*owner)->StartTimer();
    });
}

void CMainDialog::OnTimer() {
    if (tickCounter_++ > 10) {
        RefreshStatus();
        tickCounter_ = 0;
    }
}

std::wstring CMainDialog::RefreshStatus() {
    if (!fields_.enable) {
        ShowStatus(L"", L"The Server is stopped");
        return std::wstring();
    }
    const std::wstring suffix = fields_.port == 80 ? std::wstring() : L":" + std::to_wstring(fields_.port);
    const std::wstring adapter = AnsiToWide(SelectAdapterAddress());
    if (adapter.empty()) {
        ShowStatus(L"localhost" + suffix, L"Only. No NET connections found");
        return std::wstring();
    }
    // The reachable address (the relay host's) and the dynamic DNS update come here
    // once they exist; until then the machine's own address is shown.
    ShowStatus(adapter + suffix, L"");
    return std::wstring();
}

void CMainDialog::ShowStatus(const std::wstring& address, const std::wstring& message) {
    if (address == lastShownAddress_ && message == lastShownMessage_) {
        const std::wstring blogPost = server_.LastBlogPostUrl();
        if (!blogPost.empty()) {
            openUrl_ = L"http://" + blogPost;
            statusText_ = openUrl_ + L" Last blog post" + L",(Enter/DblClick to open)";
            view_.ShowStatusText(statusText_);
        }
        return;
    }
    lastShownAddress_ = address;
    lastShownMessage_ = message;
    server_.ClearLastBlogPost();
    if (!address.empty()) {
        openUrl_ = L"http://" + address;
        statusText_ = openUrl_ + L" " + message;
    } else {
        openUrl_.clear();
        statusText_ = message;
    }
    view_.ShowStatusText(statusText_);
}

}  // namespace tarnhollow
