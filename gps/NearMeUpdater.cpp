// The NearMe update URL and its request over libcurl.
#include "gps/NearMeUpdater.h"

#include <curl/curl.h>

#include <memory>

#include "gps/GpsNumbers.h"
#include "http/PercentEncoding.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr int kPublicPort = 80;
constexpr int kUrlValues = 5;

size_t DiscardAnswer(char*, size_t size, size_t count, void*) { return size * count; }

int CheckCancelled(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return (*static_cast<const std::function<bool()>*>(cancelled))() ? 1 : 0;
}

}  // namespace

std::string FormatNearMeUrl(std::wstring_view urlTemplate, std::wstring_view server, long long time, double longitude,
                            double latitude, int port) {
    const std::string text = WideToAnsi(urlTemplate);
    std::string url;
    int used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '%' || (next != '%' && next != 's' && next != 'd' && next != 'f') ||
            (next != '%' && used == kUrlValues)) {
            url += text[i];
            continue;
        }
        ++i;
        if (next == '%') {
            url += '%';
            continue;
        }
        switch (used++) {
            case 0: AppendPercentEncoded(url, WideToAnsi(server), PercentSet::Link); break;
            case 1: url += std::to_string(time); break;
            case 2: url += FormatSixDecimals(longitude); break;
            case 3: url += FormatSixDecimals(latitude); break;
            default: url += std::to_string(port); break;
        }
    }
    return url;
}

NearMeUpdater::NearMeUpdater(std::wstring urlTemplate, NearMeTimeouts timeouts)
    : urlTemplate_(std::move(urlTemplate)), timeouts_(timeouts) {
    // Here on the thread that builds the reader, before its own thread can send.
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

NearMeUpdater::~NearMeUpdater() { curl_global_cleanup(); }

void NearMeUpdater::SetPublicName(std::wstring_view hostName) {
    std::lock_guard<std::mutex> hold(lock_);
    serverName_ = hostName;
    port_ = kPublicPort;
}

bool NearMeUpdater::Send(long long time, double longitude, double latitude, const std::function<bool()>& cancelled) {
    std::string url;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (serverName_.empty()) return false;
        url = FormatNearMeUrl(urlTemplate_, serverName_, time, longitude, latitude, port_);
    }
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> request(curl_easy_init(), curl_easy_cleanup);
    if (!request) return false;
    CURL* handle = request.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    // The template is a setting: it may name no other kind of resource.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeouts_.connectMilliseconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeouts_.totalMilliseconds);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, DiscardAnswer);
    if (cancelled) {
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CheckCancelled);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &cancelled);
    }
    return curl_easy_perform(handle) == CURLE_OK;
}

}  // namespace tarnhollow
