// Query splitting and percent-decoding, the checks of each NearMe parameter, and the
// answer script.
#include "directory/NearMeQuery.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "directory/DirectoryLimits.h"
#include "directory/HostNames.h"
#include "directory/WholeNumbers.h"
#include "platform/TextConvert.h"

namespace tarnhollow::directory {

namespace {

// Nothing when an escape is broken or decodes to a control byte.
std::optional<std::string> Decoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = HexDigitValue(text[i + 1]), low = HexDigitValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
        decoded += c;
    }
    return decoded;
}

class Parameters {
public:
    // Only the wanted keys are kept; false when one comes twice or will not decode.
    bool Split(std::string_view query, std::initializer_list<const char*> wanted, std::string& problem) {
        while (!query.empty()) {
            const size_t amp = query.find('&');
            const std::string_view pair = query.substr(0, amp);
            query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
            const size_t equals = pair.find('=');
            const auto key = Decoded(pair.substr(0, equals));
            if (!key) continue;
            bool known = false;
            for (const char* name : wanted) known = known || *key == name;
            if (!known) continue;
            const auto value = Decoded(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
            if (!value || values_.count(*key)) {
                problem = *key;
                return false;
            }
            values_[*key] = *value;
        }
        for (const char* name : wanted) {
            if (!values_.count(name)) {
                problem = name;
                return false;
            }
        }
        return true;
    }
    const std::string& operator[](const char* key) { return values_[key]; }

private:
    std::map<std::string, std::string> values_;
};

// "-?digits(.digits)?" within [low, high].
bool Decimal(const std::string& text, double low, double high, double& value) {
    if (text.empty() || text.size() > kMaxNumberChars) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    size_t digits = 0, dots = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '.') {
            if (dots++ || digits == 0) return false;
        } else if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
        } else {
            return false;
        }
    }
    if (text.back() == '.' || digits == 0) return false;
    value = std::strtod(text.c_str(), nullptr);
    return value >= low && value <= high;
}

}  // namespace

std::optional<NearMeUpdate> ParseNearMeUpdate(std::string_view query, std::string& problem) {
    Parameters parameters;
    if (!parameters.Split(query, {"server", "time", "lon", "lat", "port"}, problem)) return std::nullopt;
    NearMeUpdate update;
    long time = 0, port = 0;
    if (!IsDnsName(parameters["server"])) {
        problem = "server";
    } else if (!ParseWholeNumber(parameters["time"], 0, 235959, time) || time % 100 > 59 ||
               time / 100 % 100 > 59) {
        problem = "time";
    } else if (!Decimal(parameters["lon"], -180, 180, update.longitude)) {
        problem = "lon";
    } else if (!Decimal(parameters["lat"], -90, 90, update.latitude)) {
        problem = "lat";
    } else if (!ParseWholeNumber(parameters["port"], 1, 65535, port)) {
        problem = "port";
    } else {
        update.server = NormalizedName(parameters["server"]);
        update.time = static_cast<int>(time);
        update.port = static_cast<int>(port);
        return update;
    }
    return std::nullopt;
}

std::optional<NearMeRequest> ParseNearMeRequest(std::string_view query, std::string& problem) {
    Parameters parameters;
    if (!parameters.Split(query, {"time", "max", "prec", "lon", "lat"}, problem)) return std::nullopt;
    NearMeRequest request;
    long precision = 0;
    if (!ParseWholeNumber(parameters["time"], 1, kMaxNearMeAgeSeconds, request.maxAgeSeconds)) {
        problem = "time";
    } else if (!ParseWholeNumber(parameters["max"], 1, kMaxNearMeResults, request.maxResults)) {
        problem = "max";
    } else if (!ParseWholeNumber(parameters["prec"], 0, kMaxNearMePrecision, precision)) {
        problem = "prec";
    } else if (!Decimal(parameters["lon"], -180, 180, request.longitude)) {
        problem = "lon";
    } else if (!Decimal(parameters["lat"], -90, 90, request.latitude)) {
        problem = "lat";
    } else {
        request.precision = static_cast<int>(precision);
        return request;
    }
    return std::nullopt;
}

double DistanceKilometres(double latitude1, double longitude1, double latitude2, double longitude2) {
    constexpr double kEarthRadius = 6371.0;
    constexpr double kRadians = 3.14159265358979323846 / 180.0;
    const double dLat = (latitude2 - latitude1) * kRadians;
    const double dLon = (longitude2 - longitude1) * kRadians;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(latitude1 * kRadians) * std::cos(latitude2 * kRadians) * std::sin(dLon / 2) *
                         std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::sqrt(std::min(1.0, a)));
}

std::string NearMeScript(const std::vector<NearMePosition>& positions, int precision) {
    std::string latitudes, longitudes, times, servers;
    char number[64];
    for (const NearMePosition& position : positions) {
        const char* separator = servers.empty() ? "" : ", ";
        std::snprintf(number, sizeof number, "%.*f", precision, position.latitude);
        latitudes += separator;
        latitudes += number;
        std::snprintf(number, sizeof number, "%.*f", precision, position.longitude);
        longitudes += separator;
        longitudes += number;
        std::snprintf(number, sizeof number, "\"%02d:%02d:%02d UTC\"", position.time / 10000, position.time / 100 % 100,
                      position.time % 100);
        times += separator;
        times += number;
        // Names are DNS names, so nothing in them needs escaping inside the quotes.
        servers += separator;
        servers += "\"" + position.server + (position.port == 80 ? "" : ":" + std::to_string(position.port)) + "\"";
    }
    return "var latitudes = [" + latitudes + "];\nvar longitudes = [" + longitudes + "];\nvar times = [" + times +
           "];\nvar servers = [" + servers + "];\n";
}

}  // namespace tarnhollow::directory
