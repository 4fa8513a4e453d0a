// The dynamic DNS updater: keeps one host name of the provider pointed at the address the
// machine is reached through, asking the update host only when something changed, or
// leaves the update to a plug-in. Requests run on a worker; results come back on the
// server thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ddns/PluginLibrary.h"
#include "platform/AliveToken.h"
#include "platform/BackgroundQueue.h"
#include "platform/ServerExecutor.h"

namespace tarnhollow {

// The dialog's list of provider domains and its selection (-1: none).
struct DomainList {
    std::vector<std::wstring> entries;
    int selected = -1;
};

// The account an update is made with.
struct DynDnsAccount {
    std::wstring user;
    std::wstring password;
    std::wstring name;
    std::wstring domain;
};

// What an update ended with: the status (nonzero: registered), the address (the
// registered full name, or as it was) and the comment for the status line.
struct DynDnsResult {
    int status = 0;
    std::wstring address;
    std::wstring comment;
};

// The fixed product identification of update requests.
inline constexpr char kUpdateUserAgent[] = "Tarnhollow Project - Personal Web Server - Tarnhollow/1.5";

class DynDnsUpdater {
public:
    using Done = std::function<void(const DynDnsResult& result)>;

    // Loads the first ddns*.so of `pluginFolder` and reads DNS_status. Results reach the
    // server thread through `server`.
    explicit DynDnsUpdater(ServerExecutor server, std::string pluginFolder = ExecutableFolder());
    // Stops a request in flight; its result is dropped.
    ~DynDnsUpdater();
    DynDnsUpdater(const DynDnsUpdater&) = delete;
    DynDnsUpdater& operator=(const DynDnsUpdater&) = delete;

    // On the server thread. When no request is needed, returns the status at once and
    // sets `address` and `comment` as a finished update does. Otherwise starts the
    // request on the worker (unless one is in flight already) and returns nothing; `done`
    // later receives the outcome on the server thread, with the settings written.
    std::optional<int> Update(const DynDnsAccount& account, std::wstring& address, std::wstring& comment, Done done);

    // After the settings were read (loading) or saved: the plug-in's PatchOptions, or,
    // without one and when loading, the selection of `domain` in `domains` (the first
    // entry when it is not listed), whose text becomes the domain.
    void PatchOptions(DomainList& domains, std::wstring& domain, std::wstring& name, std::wstring& user, bool loading);

    // The Register button: the plug-in's Register on the worker. False without a
    // plug-in that registers, for the caller to offer the provider's sign-up page.
    bool Register();

    bool Busy() const { return busy_; }
    // The loaded plug-in's path; empty when none was loaded.
    const std::string& PluginPath() const { return plugin_.path; }
    // Why a plug-in found beside the executable did not load; empty when none failed.
    const std::string& PluginError() const { return pluginError_; }

    // The status a finished exchange gives; for tests through the fake update server.
    int Status() const { return status_; }

private:
    struct Pending;
    void LoadMirrors();
    bool NeedsRequest(const DynDnsAccount& account, const std::wstring& address) const;
    DynDnsResult ApplyExchange(const Pending& pending);
    void StartPluginUpdate(const DynDnsAccount& account, const std::wstring& address, Done done);

    PluginEntries plugin_;
    std::string pluginError_;
    bool rejectedCredentials_ = false;
    std::wstring lastUser_;
    std::wstring lastPassword_;
    std::wstring name_;
    std::wstring address_;
    std::wstring domain_;
    std::wstring result_;
    std::wstring comment_;
    std::wstring fingerprint_;
    int status_ = 0;
    bool busy_ = false;
    AliveToken<DynDnsUpdater> alive_{this};
    std::shared_ptr<std::atomic<bool>> cancelled_;
    // Last, so that it goes first: its thread ends before anything it might use.
    BackgroundQueue worker_;
};

}  // namespace tarnhollow
