// Names of devices: what counts as a DNS name, and the device a browser's Host header
// selects (port stripped, case ignored).
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow::directory {

// Labels of letters, digits and hyphens (not at either end of a label), 1 to 63 bytes
// each, joined by dots; 253 bytes at most; one trailing dot allowed.
bool IsDnsName(std::string_view name);

// The name in the form names are kept in: lower case, without a trailing dot.
std::string NormalizedName(std::string_view name);

// The device name a Host header value selects: without its port, normalized; empty when
// the value is not a DNS name.
std::string DeviceNameOfHost(std::string_view host);

}  // namespace tarnhollow::directory
