// The NearMe endpoints' parameters, checked one by one, and the script that answers a
// request: the arrays latitudes, longitudes, times and servers the NearMe pages read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnhollow::directory {

// /nearme/update.php?server=NAME&time=HHMMSS&lon=X&lat=Y&port=P
struct NearMeUpdate {
    std::string server;  // a DNS name, normalized
    int time = 0;        // the fix's hhmmss as the device sent it
    double longitude = 0;
    double latitude = 0;
    int port = 80;
};

// /nearme/request.php?time=S&max=N&prec=D&lon=X&lat=Y
struct NearMeRequest {
    long maxAgeSeconds = 0;
    long maxResults = 0;
    int precision = 0;
    double longitude = 0;
    double latitude = 0;
};

struct NearMePosition {
    std::string server;
    int time = 0;
    double longitude = 0;
    double latitude = 0;
    int port = 80;
};

// Each parameter once, in range; unknown ones are ignored. Nothing when one is missing,
// repeated or wrong, with `problem` naming it.
std::optional<NearMeUpdate> ParseNearMeUpdate(std::string_view query, std::string& problem);
std::optional<NearMeRequest> ParseNearMeRequest(std::string_view query, std::string& problem);

// Great-circle distance in kilometres.
double DistanceKilometres(double latitude1, double longitude1, double latitude2, double longitude2);

// The positions (nearest first) as a script, coordinates rounded to `precision`
// decimals, times as "hh:mm:ss UTC", servers with ":port" unless it is 80.
std::string NearMeScript(const std::vector<NearMePosition>& positions, int precision);

}  // namespace tarnhollow::directory
