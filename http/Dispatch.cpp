// The method dispatch of a complete request.
#include "http/Dispatch.h"

#include "http/AccessGuard.h"
#include "http/BuiltinResources.h"
#include "http/FileAnswer.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "http/UrlMapping.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

bool IsMethod(const CRequest& request, const wchar_t* method) {
    return EqualsIgnoringAsciiCase(request.method, method);
}

}  // namespace

void Dispatch(CRequest& request) {
    const bool get = request.contentLength == 0 && IsMethod(request, L"GET");
    const bool head = request.contentLength == 0 && IsMethod(request, L"HEAD");
    const bool post = request.contentLength >= 1 && IsMethod(request, L"POST");
    if (!get && !head && !post) {
        WriteError(request, kStatusNotImplemented);
        return;
    }
    if (get && ServeBuiltin(request)) return;
    MapUrl(request);
    // Whatever the mapping found (a redirect or a 404 included) is for those the folder's
    // password lets in.
    if (AccessGuard* guard = request.server->guard; guard && guard->Check(request) != AccessGuard::Verdict::Allowed) {
        return;
    }
    AnswerMapped(request);
}

void AnswerMapped(CRequest& request) {
    if (request.status) return;
    if (IsMethod(request, L"GET")) {
        if (PrepareFile(request)) WriteBody(request);
        return;
    }
    if (IsMethod(request, L"HEAD")) {
        PrepareFile(request);
        request.response->file.Reset();
        // Only the 200 head of a file is still open; a folder that would be listed
        // gets no bytes at all.
        if (request.status == kStatusOk && !(request.attributes & kAttributeFolder) &&
            !(request.attributes & kAttributeHidden)) {
            EndHeaders(request);
        }
        return;
    }
    WriteError(request, kStatusNotImplemented);
}

}  // namespace tarnhollow
