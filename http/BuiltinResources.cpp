// Serving the built-in icons and style sheet from the compiled-in resources, with a
// day's lifetime so that browsers keep them.
#include "http/BuiltinResources.h"

#include <optional>

#include "http/HttpDate.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

struct BuiltinResource {
    const wchar_t* path;
    const wchar_t* type;
    // A file of this name in the document root is served in its place.
    bool rootFileFirst = false;
};

constexpr BuiltinResource kBuiltins[] = {
    {L"/file.gif", L"image/gif"},
    {L"/folder.gif", L"image/gif"},
    {L"/blue-ball-small.gif", L"image/gif"},
    {L"/styles.css", L"text/css"},
    {L"/favicon.ico", L"image/x-icon", true},
};

bool RootHoldsFile(const CRequest& request, const wchar_t* path) {
    return request.server && FileAttributes(WideToAnsi(request.server->documentRoot + path)) == kAttributeNormal;
}

}  // namespace

bool ServeBuiltin(CRequest& request) {
    for (const BuiltinResource& builtin : kBuiltins) {
        if (request.urlPath != builtin.path) continue;
        if (builtin.rootFileFirst && RootHoldsFile(request, builtin.path)) return false;
        auto bytes = FindResource("CONTENT", WideToAnsi(builtin.path));
        if (!bytes) {
            WriteError(request, kStatusNotFound);
            return true;
        }
        WriteStatus(request, kStatusOk);
        WriteHeader(request, L"Content-Type", builtin.type);
        WriteHeader(request, L"Last-Modified", FormatHttpDate());
        WriteHeader(request, L"Expires", FormatHttpDate(std::nullopt, 86400));
        WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(bytes->size()));
        EndHeaders(request);
        request.response->buffer.AppendBytes(*bytes);
        return true;
    }
    return false;
}

}  // namespace tarnhollow
