// The machine's address as others would reach it.
#pragma once

#include <string>

namespace tarnhollow {

// The first IPv4 address of the first interface that is up and not loopback, else the
// last non-loopback IPv4 address found; empty when there is none.
std::string SelectAdapterAddress();

}  // namespace tarnhollow
