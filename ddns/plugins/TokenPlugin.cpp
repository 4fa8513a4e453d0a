// The token plug-in: updates a provider whose update is one GET of a URL that carries an
// account token. The URL template is the setting DDNS_TokenURL, in which {token} (the
// User field), {host} (Name "." Domain) and {address} are replaced, each URL-escaped.
#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "ddns/DynDnsPlugin.h"

namespace {

constexpr long kConnectMilliseconds = 10000;
constexpr long kTotalMilliseconds = 30000;
constexpr size_t kBodyLimit = 1022;

std::mutex settingsLock;
std::string urlTemplate;
std::string userAgent = "Tarnhollow/1.5";

// What was sent last and how it ended: an unchanged update is not sent again. Used by
// the update worker alone, one call at a time.
std::string lastRequest;
int lastStatus = 0;
std::string lastComment;

std::string Escaped(CURL* handle, const char* text) {
    char* escaped = curl_easy_escape(handle, text, 0);
    std::string out = escaped ? escaped : "";
    curl_free(escaped);
    return out;
}

void ReplaceAll(std::string& text, const std::string& field, const std::string& value) {
    for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size())) {
        text.replace(at, field.size(), value);
    }
}

size_t Receive(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    const size_t bytes = size * count;
    body->append(data, std::min(bytes, kBodyLimit - body->size()));
    return body->size() >= kBodyLimit ? 0 : bytes;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void Write(char* buffer, const std::string& text) {
    std::snprintf(buffer, TARNHOLLOW_DDNS_TEXT_ROOM, "%s", text.c_str());
}

}  // namespace

extern "C" {

void Configure(const TarnhollowDdnsHost* host) {
    char buffer[TARNHOLLOW_DDNS_TEXT_ROOM] = {};
    host->readSetting("DDNS_TokenURL", "", buffer, sizeof buffer);
    std::lock_guard<std::mutex> hold(settingsLock);
    urlTemplate = buffer;
    if (host->userAgent) userAgent = host->userAgent;
}

int Start(const char* token, const char*, const char* name, const char* domain, char* address, char* comment) {
    std::string url, agent;
    {
        std::lock_guard<std::mutex> hold(settingsLock);
        url = urlTemplate;
        agent = userAgent;
    }
    const std::string host = std::string(name) + "." + domain;
    if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0) {
        Write(comment, " Token update: set DDNS_TokenURL to the provider's update URL");
        return 0;
    }
    if (!*token || !*name) return 0;
    CURL* handle = curl_easy_init();
    if (!handle) {
        Write(comment, "Token update: no connection");
        return 0;
    }
    ReplaceAll(url, "{token}", Escaped(handle, token));
    ReplaceAll(url, "{host}", Escaped(handle, host.c_str()));
    ReplaceAll(url, "{address}", Escaped(handle, address));
    if (url == lastRequest) {
        curl_easy_cleanup(handle);
        if (lastStatus) Write(address, host);
        Write(comment, lastComment);
        return lastStatus;
    }
    std::string body;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectMilliseconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kTotalMilliseconds);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(handle);
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_cleanup(handle);
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && body.size() >= kBodyLimit)) {
        // Not remembered: the next update tries again.
        Write(comment, "Token update connection error " + std::to_string(static_cast<int>(result)));
        return 0;
    }
    // The answer may repeat the token; it never reaches the status line.
    ReplaceAll(body, token, "***");
    lastRequest = url;
    if (code == 200 && (StartsWith(body, "OK") || StartsWith(body, "good") || StartsWith(body, "nochg"))) {
        lastStatus = 1;
        lastComment.clear();
        Write(address, host);
    } else {
        lastStatus = 0;
        lastComment = " Token update for '" + host + "' says: '" + body + "' (HTTP " + std::to_string(code) + ")";
    }
    Write(comment, lastComment);
    return lastStatus;
}
}
