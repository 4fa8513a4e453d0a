// A sample dynamic DNS plug-in: Start registers every name at once without the network,
// PatchOptions writes host names in lower case and selects the last domain of the list,
// and Register does nothing. Built without Start and Register (SAMPLE_OPTIONS_ONLY), it
// leaves the updates to the program's own protocol.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "ddns/DynDnsPlugin.h"

extern "C" {

#ifndef SAMPLE_OPTIONS_ONLY
int Start(const char*, const char*, const char* name, const char* domain, char* address, char* comment) {
    std::snprintf(address, TARNHOLLOW_DDNS_TEXT_ROOM, "%s.%s", name, domain);
    std::snprintf(comment, TARNHOLLOW_DDNS_TEXT_ROOM, "(sample plug-in)");
    return 1;
}

void Register(const TarnhollowDdnsHost*) {}
#endif

void PatchOptions(const TarnhollowDomainList* domains, char* domain, char* name, char*, int loading) {
    for (char* c = name; *c; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (!loading) return;
    const int last = domains->count(domains->context) - 1;
    if (last < 0 || domains->select(domains->context, last) != 0) return;
    domains->entry(domains->context, last, domain, TARNHOLLOW_DDNS_TEXT_ROOM);
}
}
