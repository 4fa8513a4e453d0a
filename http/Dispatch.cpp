// The method dispatch of a complete request.
#include "http/Dispatch.h"

#include "http/BuiltinResources.h"
#include "http/FileAnswer.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

void Dispatch(CRequest& request) {
    if (request.contentLength == 0 && EqualsIgnoringAsciiCase(request.method, L"GET")) {
        if (ServeBuiltin(request)) return;
        MapUrl(request);
        if (request.status) return;
        if (PrepareFile(request)) WriteBody(request);
        return;
    }
    if (request.contentLength == 0 && EqualsIgnoringAsciiCase(request.method, L"HEAD")) {
        MapUrl(request);
        if (request.status) return;
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
    if (request.contentLength >= 1 && EqualsIgnoringAsciiCase(request.method, L"POST")) {
        MapUrl(request);
        if (request.status) return;
        WriteError(request, kStatusNotImplemented);
        return;
    }
    WriteError(request, kStatusNotImplemented);
}

}  // namespace tarnhollow
