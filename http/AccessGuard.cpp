// Checking folder passwords and the services that act on this machine.
#include "http/AccessGuard.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <asio.hpp>
#include <memory>

#include "http/BasicCredentials.h"
#include "http/Dispatch.h"
#include "http/Limits.h"
#include "http/PendingAnswer.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "http/UrlMapping.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kUnauthorizedPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>401 Unauthorized</title></head>\n"
    "<body><h1>401 Unauthorized</h1><p>This folder is protected: it needs a user name and password.</p>"
    "</body></html>\n";
constexpr char kLocalOnlyPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>403 Forbidden</title></head>\n"
    "<body><h1>403 Forbidden</h1><p>This service presses keys on, or shows the screen of, the machine the "
    "server runs on, so it answers only that machine until its folder is protected by a password.</p>"
    "<p>To let others use it, its owner puts a <code>.pass</code> file into the folder, made with "
    "<code>htpasswd -B -c .pass USER</code>; the server's README says more.</p></body></html>\n";
constexpr size_t kMaxRememberedPasswords = 1024;

// Drops what the mapping wrote (a redirect, a 404, the open file) before a refusal.
void Discard(CRequest& request) {
    request.response->buffer.Rewind();
    request.response->file.Reset();
    request.mappedFile.Reset();
    request.status = 0;
}

void WritePage(CRequest& request, unsigned id, std::string_view page, const std::wstring& challenge = {}) {
    Discard(request);
    WriteStatus(request, id);
    if (!challenge.empty()) WriteHeader(request, L"WWW-Authenticate", challenge);
    WriteHeader(request, L"Content-Type", L"text/html; charset=utf-8");
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(page.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(page);
}

void Refuse(CRequest& request, unsigned id) {
    Discard(request);
    WriteError(request, id);
}

// A quoted-string of the realm: quotes and backslashes escaped, control bytes dropped.
std::string QuotedRealm(std::string_view folder) {
    std::string out = "\"";
    for (char c : folder) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) continue;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

bool IsLoopbackAddress(std::wstring_view address) { return address.starts_with(L"127.") || address == L"::1"; }

AccessGuard::AccessGuard(asio::io_context& io, const std::wstring& documentRoot)
    : io_(io),
      root_(WideToAnsi(documentRoot)),
      folders_(root_),
      checks_(io.get_executor(), limits::kPasswordCheckQueueLimit) {
    // Without a key nothing is remembered: every request's password is checked.
    rememberPasswords_ = RAND_bytes(digestKey_.data(), static_cast<int>(digestKey_.size())) == 1;
}

AccessGuard::~AccessGuard() { alive_.Expire(); }

AccessGuard::Verdict AccessGuard::Check(CRequest& request) { return Check(request, false); }

AccessGuard::Verdict AccessGuard::Check(CRequest& request, bool waited) {
    if (request.status == kStatusBadRequest) return Verdict::Allowed;
    Protection protection;
    if (request.attributes >= 0) {
        protection = folders_.Find(request.filePath, request.attributes & kAttributeFolder);
    } else {
        // Nothing is there: the folder asked for decides, so that a 404 tells a stranger
        // nothing about what a protected folder holds.
        std::wstring asked = CanonicalPath(request.server->documentRoot + request.urlPath);
        while (!asked.empty() && asked.back() == L'/') asked.pop_back();
        protection = folders_.Find(asked, false);
    }
    switch (protection.kind) {
        case Protection::Kind::Unreadable:
            Refuse(request, kStatusForbidden);
            return Verdict::Answered;
        case Protection::Kind::None:
            if (IsLocalOnly(request) && !IsLoopbackAddress(request.peerAddress)) {
                WritePage(request, kStatusForbidden, kLocalOnlyPage);
                return Verdict::Answered;
            }
            return Verdict::Allowed;
        case Protection::Kind::Protected:
            break;
    }
    if (!waited) {
        const auto delay = failures_.Delay(request.peerAddress, FailedLogins::Clock::now());
        if (delay > FailedLogins::Clock::duration::zero()) {
            // The answer waits on a timer, not on the server thread.
            PendingAnswer answer;
            if (!DeferAnswer(request, answer)) {
                Refuse(request, kStatusServiceUnavailable);
                return Verdict::Answered;
            }
            auto timer = std::make_shared<asio::steady_timer>(io_, delay);
            timer->async_wait(alive_.Guard([this, timer, answer](const asio::error_code& error) {
                if (error) return;
                answer.Finish([this](CRequest& waiting) { Resume(waiting, true); });
            }));
            return Verdict::Deferred;
        }
    }
    return CheckCredentials(request, protection);
}

void AccessGuard::Resume(CRequest& request, bool waited) {
    if (Check(request, waited) == Verdict::Allowed) AnswerMapped(request);
}

AccessGuard::Verdict AccessGuard::CheckCredentials(CRequest& request, const Protection& protection) {
    const auto credentials = ParseBasicCredentials(GetHeader(request, L"Authorization"));
    if (!credentials) {
        Challenge(request, protection.folder);
        return Verdict::Answered;
    }
    const PasswordEntry* entry = nullptr;
    for (const PasswordEntry& candidate : *protection.entries) {
        if (candidate.user == credentials->user) {
            entry = &candidate;
            break;
        }
    }
    if (credentials->password.size() > limits::kMaxPasswordBytes) {
        if (failures_.RecordFailure(request.peerAddress, FailedLogins::Clock::now())) ReportWaiting(request.peerAddress);
        Challenge(request, protection.folder);
        return Verdict::Answered;
    }
    if (entry && RememberedSuccess(entry->hash, credentials->password)) {
        request.authenticatedUser = AnsiToWide(credentials->user);
        return Verdict::Allowed;
    }
    PendingAnswer answer;
    if (!DeferAnswer(request, answer)) {
        Refuse(request, kStatusServiceUnavailable);
        return Verdict::Answered;
    }
    // An unknown user costs a check all the same, so that the time taken does not tell
    // which names exist.
    const bool known = entry != nullptr;
    const std::string hash = entry ? entry->hash : protection.entries->empty() ? std::string() : protection.entries->front().hash;
    auto finish = alive_.Guard([this, answer, known, hash, credentials = *credentials, folder = protection.folder,
                                address = request.peerAddress](bool right) {
        const bool accepted = right && known;
        if (accepted) {
            RememberSuccess(hash, credentials.password);
            failures_.RecordSuccess(address);
        } else if (failures_.RecordFailure(address, FailedLogins::Clock::now())) {
            ReportWaiting(address);
        }
        answer.Finish([this, accepted, user = credentials.user, folder](CRequest& checked) {
            if (!accepted) {
                Challenge(checked, folder);
                return;
            }
            checked.authenticatedUser = AnsiToWide(user);
            AnswerMapped(checked);
        });
    });
    const bool queued = checks_.Run([this, password = credentials->password, hash, finish]() mutable {
        const bool right = !hash.empty() && CheckPassword(password, hash);
        checks_.PostToServer([finish, right]() mutable { finish(right); });
    });
    if (!queued) {
        CancelDeferral(request);
        Refuse(request, kStatusServiceUnavailable);
        return Verdict::Answered;
    }
    return Verdict::Deferred;
}

void AccessGuard::ReportWaiting(const std::wstring& address) const {
    if (!report_) return;
    report_(L"Failed logins from " + (address.empty() ? std::wstring(L"relayed requests") : address) +
            L": its answers to protected folders now wait.");
}

bool AccessGuard::IsProtected(const std::wstring& urlPath) {
    return folders_.Find(AnsiToWide(root_) + urlPath, true).kind != Protection::Kind::None;
}

bool AccessGuard::IsLocalOnly(const CRequest& request) const {
    if (request.attributes < 0 || localOnly_.empty()) return false;
    const std::wstring path = MappedUrlPath(request);
    for (const std::wstring& folder : localOnly_) {
        if (path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == L'/')) return true;
    }
    return false;
}

std::array<unsigned char, 32> AccessGuard::Digest(const std::string& hash, const std::string& password) const {
    std::array<unsigned char, 32> digest{};
    const std::string message = hash + '\0' + password;
    unsigned int length = 0;
    HMAC(EVP_sha256(), digestKey_.data(), static_cast<int>(digestKey_.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(), &length);
    return digest;
}

bool AccessGuard::RememberedSuccess(const std::string& hash, const std::string& password) const {
    const auto found = remembered_.find(hash);
    if (found == remembered_.end()) return false;
    const auto digest = Digest(hash, password);
    return CRYPTO_memcmp(digest.data(), found->second.data(), digest.size()) == 0;
}

void AccessGuard::RememberSuccess(const std::string& hash, const std::string& password) {
    if (!rememberPasswords_) return;
    if (remembered_.size() >= kMaxRememberedPasswords) remembered_.clear();
    remembered_[hash] = Digest(hash, password);
}

void AccessGuard::Challenge(CRequest& request, const std::string& folder) const {
    const std::string_view relative = std::string_view(folder).substr(std::min(folder.size(), root_.size()));
    const std::wstring challenge =
        L"Basic realm=" + AnsiToWide(QuotedRealm(relative.empty() ? "/" : relative)) + L", charset=\"UTF-8\"";
    WritePage(request, kStatusUnauthorized, kUnauthorizedPage, challenge);
}

}  // namespace tarnhollow
