// The dynamic DNS provider's domains, its main domain and its update host.
#pragma once

#include <array>
#include <cstddef>

namespace tarnhollow {

// The domains a host name can be registered under, sorted as the dialog's list shows them.
inline constexpr size_t kProviderDomainCount = 89;
extern const std::array<const wchar_t*, kProviderDomainCount> kProviderDomains;

// The provider's main domain: the Domain setting's default.
inline constexpr wchar_t kDefaultDomain[] = L"dyndns.org";

// Where a user without an account makes one: what the Register button opens when no
// plug-in handles it.
inline constexpr wchar_t kSignUpUrl[] = L"https://account.dyn.com/entrance/";

// Where updates go unless DNS_UpdateHost names another host. Over TLS: the request
// carries the account's password.
inline constexpr wchar_t kDefaultUpdateHost[] = L"https://members.dyndns.org";

}  // namespace tarnhollow
