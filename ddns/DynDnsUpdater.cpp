// The update decision, the answer's reading and the settings it leaves, and the plug-in
// calls.
#include "ddns/DynDnsUpdater.h"

#include <curl/curl.h>

#include <array>
#include <cstring>

#include "ddns/AccountFingerprint.h"
#include "ddns/ProviderDomains.h"
#include "ddns/UpdateRequest.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kNothingStored[] = L"*";
// One request at a time: the refresh that finds one in flight starts no second one.
constexpr size_t kWorkerQueueLimit = 1;

struct Reason {
    std::string_view prefix;
    const wchar_t* text;
    bool rejectsCredentials;
};
constexpr Reason kReasons[] = {
    {"badauth", L"Invalid User/Password", true},
    {"!donator", L"Invalid Account credit", true},
    {"nohost", L"Invalid server/domain name", false},
    {"abuse", L"Too many names changes", false},
};

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A buffer a plug-in may rewrite, holding `text` to begin with.
using PluginText = std::array<char, TARNHOLLOW_DDNS_TEXT_ROOM>;
void Fill(PluginText& buffer, const std::wstring& text) {
    buffer.fill('\0');
    const std::string bytes = WideToAnsi(text);
    std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), buffer.size() - 1));
}
std::wstring Read(PluginText& buffer) {
    buffer.back() = '\0';
    return AnsiToWide(buffer.data());
}

// The domain list as plug-ins see it.
int ListCount(void* context) { return static_cast<int>(static_cast<DomainList*>(context)->entries.size()); }
int ListEntry(void* context, int index, char* buffer, int room) {
    const auto* list = static_cast<DomainList*>(context);
    if (index < 0 || static_cast<size_t>(index) >= list->entries.size() || !buffer || room <= 0) return -1;
    const std::string text = WideToAnsi(list->entries[static_cast<size_t>(index)]);
    const size_t length = std::min(text.size(), static_cast<size_t>(room - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
int ListSelect(void* context, int index) {
    auto* list = static_cast<DomainList*>(context);
    if (index < 0 || static_cast<size_t>(index) >= list->entries.size()) return -1;
    list->selected = index;
    return 0;
}
int ListSelected(void* context) { return static_cast<DomainList*>(context)->selected; }

int ReadSettingForPlugin(const char* name, const char* defaultValue, char* buffer, int room) {
    if (!name || !buffer || room <= 0) return -1;
    auto key = OpenSettingsKey();
    const std::wstring fallback = AnsiToWide(defaultValue ? defaultValue : "");
    const std::string value = WideToAnsi(ReadString(key.get(), AnsiToWide(name), fallback.c_str()));
    const size_t length = std::min(value.size(), static_cast<size_t>(room - 1));
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

const TarnhollowDdnsHost kHost{kUpdateUserAgent, ReadSettingForPlugin};

// An answering server may echo what it was sent; the password never reaches the status line.
std::wstring WithoutPassword(std::wstring text, const std::wstring& password) {
    if (password.empty()) return text;
    for (size_t at = text.find(password); at != std::wstring::npos; at = text.find(password, at + 3)) {
        text.replace(at, password.size(), L"***");
    }
    return text;
}

}  // namespace

struct DynDnsUpdater::Pending {
    DynDnsAccount account;
    std::wstring address;
    std::wstring comment;
    UpdateExchange exchange;
};

DynDnsUpdater::DynDnsUpdater(ServerExecutor server, std::string pluginFolder)
    : cancelled_(std::make_shared<std::atomic<bool>>(false)),
      worker_(std::move(server), kWorkerQueueLimit) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    plugin_ = LoadPlugin(pluginFolder, pluginError_);
    auto key = OpenSettingsKey();
    status_ = ReadBool(key.get(), L"DNS_status", 0) ? 1 : 0;
}

DynDnsUpdater::~DynDnsUpdater() {
    cancelled_->store(true);
    alive_.Expire();
    curl_global_cleanup();
}

void DynDnsUpdater::LoadMirrors() {
    std::unique_ptr<SettingsKey> key;
    const auto load = [&key](std::wstring& mirror, const wchar_t* name) {
        if (!mirror.empty()) return;
        if (!key) key = OpenSettingsKey();
        mirror = ReadString(key.get(), name, kNothingStored);
    };
    load(address_, L"DNS_IP");
    load(domain_, L"DNS_domain");
    load(name_, L"DNS_name");
    load(result_, L"DNS_result");
    load(comment_, L"DNS_comment");
    load(fingerprint_, L"DNS_account");
}

bool DynDnsUpdater::NeedsRequest(const DynDnsAccount& account, const std::wstring& address) const {
    if (account.name != name_ || account.domain != domain_ || address != address_) return true;
    if (rejectedCredentials_ && (account.user != lastUser_ || account.password != lastPassword_)) return true;
    // The mark is gone after a restart; the fingerprint tells whether the account that
    // got the last answer was another one.
    return fingerprint_ != kNothingStored && !MatchesAccountFingerprint(fingerprint_, account.user, account.password);
}

std::optional<int> DynDnsUpdater::Update(const DynDnsAccount& account, std::wstring& address, std::wstring& comment,
                                         Done done) {
    if (plugin_.start) {
        if (!busy_) StartPluginUpdate(account, address, std::move(done));
        return std::nullopt;
    }
    LoadMirrors();
    if (account.user.empty() || account.password.empty() || account.name.empty()) return 0;
    if (!NeedsRequest(account, address)) {
        if (result_ != kNothingStored) address = result_;
        if (comment_ != kNothingStored) comment = comment_;
        return status_;
    }
    if (busy_) return std::nullopt;
    rejectedCredentials_ = false;
    status_ = 0;

    auto key = OpenSettingsKey();
    const std::string host = UsableUpdateHost(ReadString(key.get(), L"DNS_UpdateHost", kDefaultUpdateHost));
    auto pending = std::make_shared<Pending>();
    pending->account = account;
    pending->address = address;
    pending->comment = comment;
    if (host.empty()) {
        // A setting that names no usable host is a request that could not be made.
        pending->exchange.outcome = UpdateExchange::Outcome::Unavailable;
        const DynDnsResult result = ApplyExchange(*pending);
        address = result.address;
        comment = result.comment;
        return result.status;
    }
    UpdateRequest request;
    request.url = host + FormatUpdateTarget(account.name, account.domain, address);
    request.user = WideToAnsi(account.user);
    request.password = WideToAnsi(account.password);
    request.userAgent = kUpdateUserAgent;
    busy_ = true;
    // `worker_` outlives every job, so posting through it is safe; the result itself
    // touches the updater only while it exists.
    auto finish = alive_.Guard([this, pending, done] {
        busy_ = false;
        const DynDnsResult result = ApplyExchange(*pending);
        if (done) done(result);
    });
    const bool queued = worker_.Run([this, request, pending, finish, cancelled = cancelled_] {
        pending->exchange = PerformUpdateRequest(request, *cancelled);
        worker_.PostToServer(finish);
    });
    if (!queued) busy_ = false;
    return std::nullopt;
}

DynDnsResult DynDnsUpdater::ApplyExchange(const Pending& pending) {
    const DynDnsAccount& account = pending.account;
    DynDnsResult outcome{0, pending.address, pending.comment};
    status_ = 0;
    const UpdateExchange& exchange = pending.exchange;
    switch (exchange.outcome) {
        case UpdateExchange::Outcome::NoRequest: outcome.comment = L"DynDns No connection"; return outcome;
        case UpdateExchange::Outcome::Unavailable: outcome.comment = L"Network unavailable"; return outcome;
        case UpdateExchange::Outcome::ConnectionError:
            outcome.comment = L"DynDns Connection error " + std::to_wstring(exchange.error);
            return outcome;
        case UpdateExchange::Outcome::Answered: break;
    }
    lastUser_ = account.user;
    lastPassword_ = account.password;
    fingerprint_ = MakeAccountFingerprint(account.user, account.password);
    auto key = OpenSettingsKey();
    address_ = pending.address;
    domain_ = account.domain;
    name_ = account.name;
    WriteString(key.get(), L"DNS_IP", address_);
    WriteString(key.get(), L"DNS_domain", domain_);
    WriteString(key.get(), L"DNS_name", name_);
    WriteString(key.get(), L"DNS_account", fingerprint_);
    const std::string_view body = exchange.body;
    const std::wstring fullName = account.name + L"." + account.domain;
    if (exchange.code == 200 && (StartsWith(body, "good") || StartsWith(body, "nochg"))) {
        result_ = fullName;
        WriteString(key.get(), L"DNS_result", result_);
        outcome.address = result_;
        status_ = 1;
        comment_ = outcome.comment;
    } else {
        std::wstring reason;
        for (const Reason& row : kReasons) {
            if (!StartsWith(body, row.prefix)) continue;
            reason = row.text;
            if (row.rejectsCredentials) rejectedCredentials_ = true;
            break;
        }
        outcome.comment = L" DynDns for '" + fullName + L"' says: " + reason + L" '" +
                          WithoutPassword(AnsiToWide(body), account.password) + L"' (HTTP " +
                          std::to_wstring(exchange.code) + L")";
        if (result_ != kNothingStored) outcome.address = result_;
        comment_ = outcome.comment;
    }
    WriteString(key.get(), L"DNS_comment", comment_);
    WriteDword(key.get(), L"DNS_status", static_cast<uint32_t>(status_));
    outcome.status = status_;
    return outcome;
}

void DynDnsUpdater::StartPluginUpdate(const DynDnsAccount& account, const std::wstring& address, Done done) {
    busy_ = true;
    const TarnhollowDdnsStart start = plugin_.start;
    auto result = std::make_shared<DynDnsResult>();
    auto finish = alive_.Guard([this, result, done] {
        busy_ = false;
        if (done) done(*result);
    });
    const bool queued = worker_.Run([this, start, account, address, result, finish] {
        PluginText addressText, commentText;
        Fill(addressText, address);
        Fill(commentText, L"");
        const int status = start(WideToAnsi(account.user).c_str(), WideToAnsi(account.password).c_str(),
                                 WideToAnsi(account.name).c_str(), WideToAnsi(account.domain).c_str(),
                                 addressText.data(), commentText.data());
        *result = DynDnsResult{status, Read(addressText), WithoutPassword(Read(commentText), account.password)};
        worker_.PostToServer(finish);
    });
    if (!queued) busy_ = false;
}

void DynDnsUpdater::PatchOptions(DomainList& domains, std::wstring& domain, std::wstring& name, std::wstring& user,
                                 bool loading) {
    if (loading && plugin_.configure) plugin_.configure(&kHost);
    if (plugin_.patchOptions) {
        const TarnhollowDomainList list{&domains, ListCount, ListEntry, ListSelect, ListSelected};
        PluginText domainText, nameText, userText;
        Fill(domainText, domain);
        Fill(nameText, name);
        Fill(userText, user);
        plugin_.patchOptions(&list, domainText.data(), nameText.data(), userText.data(), loading ? 1 : 0);
        domain = Read(domainText);
        name = Read(nameText);
        user = Read(userText);
        return;
    }
    if (!loading || domains.entries.empty()) return;
    int found = 0;
    for (size_t i = 0; i < domains.entries.size(); ++i) {
        if (EqualsIgnoringAsciiCase(domains.entries[i], domain)) {
            found = static_cast<int>(i);
            break;
        }
    }
    domains.selected = found;
    domain = domains.entries[static_cast<size_t>(found)];
}

bool DynDnsUpdater::Register() {
    if (!plugin_.registerAccount) return false;
    const TarnhollowDdnsRegister registerAccount = plugin_.registerAccount;
    worker_.Run([registerAccount] { registerAccount(&kHost); });
    return true;
}

}  // namespace tarnhollow
