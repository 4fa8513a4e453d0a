// The main dialog's algorithms, independent of how the dialog is shown.
#include "app/MainDialog.h"

#include <asio.hpp>
#include <cstdio>
#include <cwchar>

#include "ddns/ProviderDomains.h"
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
};

CMainDialog::CMainDialog(asio::io_context& io, View& view, const std::wstring& documentRoot)
    : io_(io),
      view_(view),
      updater_(io.get_executor()),
      server_(io, 0, documentRoot),
      timer_(std::make_unique<Timer>(io)) {
    domainList_.entries.assign(kProviderDomains.begin(), kProviderDomains.end());
    server_.SetErrorReporter([this](const std::wstring& message) { view_.ShowError(message); });
    server_.SetNoticeReporter([this](const std::wstring& message) { view_.ShowNotice(message); });
    server_.SetConnectionErrorReporter([this](uint32_t status) {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"0x%x", status);
        view_.ShowConnectionError(L"The data connection failed (connection manager status " + std::wstring(hex) +
                                  L").");
    });
    if (!updater_.PluginError().empty()) {
        view_.ShowNotice(L"The dynamic DNS plug-in was not loaded: " + AnsiToWide(updater_.PluginError()));
    } else if (!updater_.PluginPath().empty()) {
        view_.ShowNotice(L"Dynamic DNS plug-in loaded: " + AnsiToWide(updater_.PluginPath()));
    }
    // Made now, on the server thread: the posted commands take it from a view's thread.
    alive_.Weak();
}

CMainDialog::~CMainDialog() {
    Stop();
    alive_.Expire();
}

bool CMainDialog::LoadAndStart(std::optional<uint32_t> portOverride) {
    {
        auto key = OpenSettingsKey();
        fields_.port = ReadDword(key.get(), L"Port", 8080);
        fields_.enable = ReadDword(key.get(), L"Enable", 1) != 0;
    }
    LoadAccount();
    portOverride_ = portOverride;
    if (portOverride) {
        fields_.port = *portOverride;
        fields_.enable = true;
    }
    ShowFields();
    StartTimer();
    const bool failed = StartOrStop(fields_.enable ? fields_.port : 0);
    // An address is shown only once the server can be reached there.
    if (!failed) HandOnPublicName(RefreshStatus());
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

void CMainDialog::LoadAccount() {
    auto key = OpenSettingsKey();
    fields_.name = ReadString(key.get(), L"Name", L"");
    fields_.user = ReadString(key.get(), L"User", L"");
    fields_.password = ReadString(key.get(), L"Pass", L"");
    fields_.domain = ReadString(key.get(), L"Domain", kDefaultDomain);
    key.reset();
    updater_.PatchOptions(domainList_, fields_.domain, fields_.name, fields_.user, true);
}

void CMainDialog::Save(const DialogFields& fields) { Apply(fields, true); }

void CMainDialog::Reload() {
    DialogFields fields = fields_;
    {
        auto key = OpenSettingsKey();
        fields.port = ReadDword(key.get(), L"Port", 8080);
        fields.enable = ReadDword(key.get(), L"Enable", 1) != 0;
    }
    LoadAccount();
    fields.name = fields_.name;
    fields.domain = fields_.domain;
    fields.user = fields_.user;
    fields.password = fields_.password;
    // A port given for this run stays, and is not stored.
    if (portOverride_) {
        fields.port = *portOverride_;
        fields.enable = true;
    }
    Apply(fields, !portOverride_);
    // Said once the settings are applied, so that nothing of this reload writes the
    // file after the user may have edited it again.
    view_.ShowNotice(L"Settings read again from " + AnsiToWide(SettingsFile()) + L" and applied.");
}

void CMainDialog::Apply(const DialogFields& fields, bool storePort) {
    fields_ = fields;
    {
        auto key = OpenSettingsKey();
        WriteString(key.get(), L"Name", fields_.name);
        WriteString(key.get(), L"User", fields_.user);
        WriteString(key.get(), L"Pass", fields_.password);
        // The list's entry for the domain, when it has one, is the selected one.
        for (size_t i = 0; i < domainList_.entries.size(); ++i) {
            if (EqualsIgnoringAsciiCase(domainList_.entries[i], fields_.domain)) {
                domainList_.selected = static_cast<int>(i);
                break;
            }
        }
        if (domainList_.selected >= 0 && static_cast<size_t>(domainList_.selected) < domainList_.entries.size()) {
            fields_.domain = domainList_.entries[static_cast<size_t>(domainList_.selected)];
            WriteString(key.get(), L"Domain", fields_.domain);
        }
    }
    const bool failed = StartOrStop(fields_.enable ? fields_.port : 0);
    if (failed) return;
    {
        auto key = OpenSettingsKey();
        if (storePort) {
            WriteDword(key.get(), L"Port", fields_.port);
            WriteDword(key.get(), L"Enable", fields_.enable ? 1 : 0);
        }
    }
    updater_.PatchOptions(domainList_, fields_.domain, fields_.name, fields_.user, false);
    updateShown_ = false;
    HandOnPublicName(RefreshStatus());
    ShowFields();
}

void CMainDialog::ShowFields() { view_.ShowFields(fields_, domainList_.entries); }

void CMainDialog::Register() {
    if (!updater_.Register()) view_.OpenInBrowser(kSignUpUrl);
}

void CMainDialog::EnableClicked(const DialogFields& fields) {
    // The domain is not one of the fields the controls exchange.
    const std::wstring domain = fields_.domain;
    fields_ = fields;
    fields_.domain = domain;
    RefreshStatus();
}

void CMainDialog::HandOnPublicName(const std::wstring& name) { server_.SetPublicName(name); }

void CMainDialog::PostSave(const DialogFields& fields) {
    asio::post(io_, alive_.Guard([this, fields] { Save(fields); }));
}

void CMainDialog::PostStop() {
    asio::post(io_, alive_.Guard([this] { Stop(); }));
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
    timer_->timer.async_wait(alive_.Guard([this](const asio::error_code& ec) {
        if (ec == asio::error::operation_aborted || !timer_->running) return;
        OnTimer();
        StartTimer();
    }));
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
    std::wstring address = server_.ResolveReachableAddress(adapter);
    std::wstring comment;
    const DynDnsAccount account{fields_.user, fields_.password, fields_.name, fields_.domain};
    auto later = alive_.Guard([this, adapter](const DynDnsResult& result) {
        if (fields_.enable) HandOnPublicName(ShowUpdate(result, adapter));
    });
    const std::optional<int> status = updater_.Update(account, address, comment, later);
    if (!status) {
        // The update runs meanwhile; its outcome replaces this line when it comes.
        if (!updateShown_) ShowStatus(adapter + suffix, L"");
        return std::wstring();
    }
    return ShowUpdate({*status, address, comment}, adapter);
}

std::wstring CMainDialog::ShowUpdate(const DynDnsResult& result, const std::wstring& adapter) {
    updateShown_ = true;
    if (result.status != 0) {
        ShowStatus(result.address, result.comment);
        return fields_.name + L"." + fields_.domain;
    }
    const std::wstring suffix = fields_.port == 80 ? std::wstring() : L":" + std::to_wstring(fields_.port);
    ShowStatus(adapter + suffix, result.comment);
    return std::wstring();
}

void CMainDialog::ShowStatus(const std::wstring& address, const std::wstring& message) {
    if (address == lastShownAddress_ && message == lastShownMessage_) {
        const std::wstring blogPost = server_.LastBlogPostUrl();
        if (!blogPost.empty()) {
            openUrl_ = L"http://" + blogPost;
            statusText_ = openUrl_ + L" Last blog post" + L",(Enter/DblClick to open)";
            view_.SetOpenUrl(openUrl_);
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
    view_.SetOpenUrl(openUrl_);
    view_.ShowAddressUrl(openUrl_);
}

}  // namespace tarnhollow
