// Folder passwords and the services that act on this machine: decides, once a URL is
// mapped, whether the request is answered, refused (401 with a challenge, 403), or
// answered later (after a wait for a client with failed logins, or once its password
// has been checked off the server thread).
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "http/FailedLogins.h"
#include "http/PasswordFolders.h"
#include "http/Request.h"
#include "platform/AliveToken.h"
#include "platform/BackgroundQueue.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class AccessGuard {
public:
    enum class Verdict {
        // Answer as usual.
        Allowed,
        // A refusal has replaced whatever the mapping wrote.
        Answered,
        // The guard finishes the answer later (AnswerMapped or a refusal).
        Deferred,
    };
    using Reporter = std::function<void(const std::wstring& message)>;

    // `documentRoot` as the server context holds it.
    AccessGuard(asio::io_context& io, const std::wstring& documentRoot);
    ~AccessGuard();
    AccessGuard(const AccessGuard&) = delete;
    AccessGuard& operator=(const AccessGuard&) = delete;

    // URL paths of folders ("/RemoteControl") whose pages act on this machine: while no
    // .pass protects such a folder, only clients on this machine are answered there.
    void SetLocalOnlyFolders(std::vector<std::wstring> urlPaths) { localOnly_ = std::move(urlPaths); }
    // Where a client that starts to wait after failed logins is reported.
    void SetReporter(Reporter reporter) { report_ = std::move(reporter); }

    // Called once the URL is mapped (whatever the mapping answered).
    Verdict Check(CRequest& request);

    // Whether a .pass protects the folder `urlPath` (for what the server says at start).
    bool IsProtected(const std::wstring& urlPath);

private:
    Verdict Check(CRequest& request, bool waited);
    Verdict CheckCredentials(CRequest& request, const Protection& protection);
    // The checks of one request that had to wait, run again when the wait is over.
    void Resume(CRequest& request, bool waited);
    bool IsLocalOnly(const CRequest& request) const;
    bool RememberedSuccess(const std::string& hash, const std::string& password) const;
    void RememberSuccess(const std::string& hash, const std::string& password);
    std::array<unsigned char, 32> Digest(const std::string& hash, const std::string& password) const;
    void Challenge(CRequest& request, const std::string& folder) const;
    void ReportWaiting(const std::wstring& address) const;

    asio::io_context& io_;
    std::string root_;
    PasswordFolders folders_;
    FailedLogins failures_;
    std::vector<std::wstring> localOnly_;
    Reporter report_;
    // Passwords that were checked and right, as a keyed digest (the key lives only in
    // this process), by the hash they matched: a browser sends the password with every
    // request, and the slow check runs once.
    std::array<unsigned char, 32> digestKey_{};
    bool rememberPasswords_ = false;
    std::unordered_map<std::string, std::array<unsigned char, 32>> remembered_;
    // The slow password checks run here, one at a time.
    BackgroundQueue checks_;
    AliveToken<AccessGuard> alive_{this};
};

// Whether a client address is this machine's own (loopback); an empty address (a
// relayed request) is not.
bool IsLoopbackAddress(std::wstring_view address);

}  // namespace tarnhollow
