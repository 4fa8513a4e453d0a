// DNS name checks and the Host header's device name.
#include "directory/HostNames.h"

#include "directory/DirectoryLimits.h"

namespace tarnhollow::directory {

namespace {

bool IsLabelByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

bool IsDnsName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.empty() || name.size() > kMaxDnsNameBytes) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('.', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > kMaxDnsLabelBytes || label.front() == '-' || label.back() == '-') {
            return false;
        }
        for (char c : label) {
            if (!IsLabelByte(c)) return false;
        }
        start = end + 1;
    }
    return true;
}

std::string NormalizedName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    std::string normalized(name);
    for (char& c : normalized) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return normalized;
}

std::string DeviceNameOfHost(std::string_view host) {
    const size_t colon = host.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        for (char c : port) {
            if (c < '0' || c > '9') return std::string();
        }
        host = host.substr(0, colon);
    }
    return IsDnsName(host) ? NormalizedName(host) : std::string();
}

}  // namespace tarnhollow::directory
