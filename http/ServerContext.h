// What the HTTP layer needs from the server that accepted a connection: the document
// root, the directory-listing switch, the content router that the pages layer supplies
// for the body of a successful GET, the access log and the folder passwords.
#pragma once

#include <string>

namespace tarnhollow {

struct CRequest;
class AccessLog;
class AccessGuard;

// Writes the body of a GET once the status line and first headers are out (see
// http/FileAnswer.h for who writes which header). The pages layer implements it;
// without one, files are streamed as they are.
class ContentRouter {
public:
    virtual ~ContentRouter() = default;
    virtual void Route(CRequest& request) = 0;
};

// What one client address holds of the server: request bodies of unfinished requests
// count against its share (the connections themselves are counted where they are
// accepted).
class ClientBudget {
public:
    virtual ~ClientBudget() = default;
    // False when the address may not hold `bytes` more; nothing is reserved then.
    virtual bool ReserveBody(const std::wstring& address, long long bytes) = 0;
    virtual void ReleaseBody(const std::wstring& address, long long bytes) = 0;
};

struct ServerContext {
    // Absolute folder path without a trailing "/".
    std::wstring documentRoot;
    // When 0, a folder without a default document is refused with 403.
    int directoryListing = 1;
    // Not owned; null serves every file raw.
    ContentRouter* router = nullptr;
    // Not owned; null puts no bound on a client's request bodies but the request's own.
    ClientBudget* clients = nullptr;
    // Not owned; null writes no access log.
    AccessLog* accessLog = nullptr;
    // Not owned; null serves every folder without passwords.
    AccessGuard* guard = nullptr;
};

}  // namespace tarnhollow
