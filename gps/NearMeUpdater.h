// The NearMe update: an HTTP GET that tells the NearMe service where this machine is
// and under which public name its server can be reached. Sent from the reader's thread.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnhollow {

// The default update endpoint: a reserved name, so that no position leaves the machine
// until its owner names a real NearMe service in the GpsNearMeURL setting.
inline constexpr wchar_t kDefaultNearMeUrl[] =
    L"http://nearme.example.net/nearme/update.php?server=%s&time=%d&lon=%f&lat=%f&port=%d";

// The update URL: the template's first five conversions ("%s", "%d" or "%f") receive,
// in this order, the server name (percent-encoded), the fix time, the longitude and the
// latitude (six decimals each) and the port; "%%" is one "%"; any other "%" sequence,
// and any conversion after the fifth, stays as written.
std::string FormatNearMeUrl(std::wstring_view urlTemplate, std::wstring_view server, long long time, double longitude,
                            double latitude, int port);

// Bounds on one update, so that a dead endpoint holds the reader only briefly.
struct NearMeTimeouts {
    long connectMilliseconds = 5000;
    long totalMilliseconds = 10000;
};

class NearMeUpdater {
public:
    explicit NearMeUpdater(std::wstring urlTemplate, NearMeTimeouts timeouts = {});
    ~NearMeUpdater();
    NearMeUpdater(const NearMeUpdater&) = delete;
    NearMeUpdater& operator=(const NearMeUpdater&) = delete;

    // The machine's public host name (from the dynamic DNS settings); the port becomes 80.
    // Safe from any thread.
    void SetPublicName(std::wstring_view hostName);

    // Sends one update for the fix at hhmmss `time`. Nothing is sent while no public name
    // is set. The answer is not used; false when nothing was sent or the request failed
    // (name resolution, connection, time-out, or `cancelled` turning true meanwhile).
    bool Send(long long time, double longitude, double latitude, const std::function<bool()>& cancelled = {});

private:
    const std::wstring urlTemplate_;
    const NearMeTimeouts timeouts_;
    std::mutex lock_;
    std::wstring serverName_;
    int port_ = 0;
};

}  // namespace tarnhollow
