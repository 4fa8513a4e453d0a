// The update request over libcurl.
#include "ddns/UpdateRequest.h"

#include <curl/curl.h>

#include <memory>

#include "http/PercentEncoding.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

struct Reception {
    std::string body;
    bool full = false;
};

size_t Receive(char* data, size_t size, size_t count, void* target) {
    auto* reception = static_cast<Reception*>(target);
    const size_t bytes = size * count;
    const size_t room = kAnswerBodyLimit - reception->body.size();
    reception->body.append(data, std::min(bytes, room));
    if (bytes >= room) {
        // Enough of the answer is here; a server that keeps sending is not waited for.
        reception->full = true;
        return 0;
    }
    return bytes;
}

int CheckCancelled(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancelled)->load() ? 1 : 0;
}

}  // namespace

std::string FormatUpdateTarget(std::wstring_view name, std::wstring_view domain, std::wstring_view address) {
    std::wstring target = L"/nic/update?";
    target.append(L"hostname=").append(name).append(L".").append(domain);
    target.append(L"&").append(L"myip=").append(address);
    std::string encoded;
    AppendPercentEncoded(encoded, WideToAnsi(target), PercentSet::ControlAndHigh);
    return encoded;
}

std::string UsableUpdateHost(std::wstring_view setting) {
    std::string text = WideToAnsi(setting);
    while (!text.empty() && text.back() == '/') text.pop_back();
    size_t hostStart;
    if (StartsWithIgnoringAsciiCase(text, "https://")) {
        hostStart = 8;
    } else if (StartsWithIgnoringAsciiCase(text, "http://")) {
        hostStart = 7;
    } else {
        return std::string();
    }
    if (text.size() == hostStart) return std::string();
    // Only a host and a port: a path, query, account or space would change the request.
    for (size_t i = hostStart; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || c >= 0x7F || c == '/' || c == '?' || c == '#' || c == '@' || c == '\\') return std::string();
    }
    return text;
}

UpdateExchange PerformUpdateRequest(const UpdateRequest& request, const std::atomic<bool>& cancelled) {
    UpdateExchange exchange;
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy) return exchange;
    CURL* handle = easy.get();
    Reception reception;
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, request.connectMilliseconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, request.totalMilliseconds);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(handle, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, request.password.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reception);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CheckCancelled);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &cancelled);
    const CURLcode result = curl_easy_perform(handle);
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && reception.full)) {
        exchange.outcome = UpdateExchange::Outcome::Answered;
        exchange.code = code;
        exchange.body = std::move(reception.body);
        return exchange;
    }
    curl_off_t connectTime = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    if (connectTime == 0) {
        exchange.outcome = UpdateExchange::Outcome::Unavailable;
    } else {
        exchange.outcome = UpdateExchange::Outcome::ConnectionError;
        exchange.error = static_cast<int>(result);
    }
    return exchange;
}

}  // namespace tarnhollow
