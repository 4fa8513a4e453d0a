// The head of a file answer, its If-Modified-Since check, and streaming the open file
// behind it.
#include "http/FileAnswer.h"

#include <algorithm>

#include "http/HttpDate.h"
#include "http/MimeTypes.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "http/TextFiles.h"
#include "platform/File.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

bool PrepareFile(CRequest& request) {
    if (request.attributes & kAttributeHidden) {
        WriteStatus(request, kStatusOk);
        EndHeaders(request);
        request.response->buffer.AppendBytes(kHiddenFilesMessage);
        return false;
    }
    if (request.attributes & kAttributeFolder) {
        if (request.server->directoryListing) return true;
        WriteError(request, kStatusForbidden);
        return false;
    }
    if (request.mappedFile.IsOpen()) {
        // Opened already while the URL was mapped.
        request.response->file = std::move(request.mappedFile);
        request.response->fileInfo = request.mappedFileInfo;
    } else {
        request.response->file = OpenForReading(WideToAnsi(request.filePath), &request.response->fileInfo);
    }
    if (!request.response->file.IsOpen()) {
        WriteError(request, kStatusServiceUnavailable);
        return false;
    }
    std::wstring since = GetHeader(request, L"If-Modified-Since");
    if (!IsTextFile(request) && !since.empty()) {
        auto date = ParseHttpDate(since);
        if (date && request.response->fileInfo.lastWriteTime <= *date) {
            WriteStatus(request, kStatusNotModified);
            EndHeaders(request);
            request.response->file.Reset();
            return false;
        }
    }
    WriteStatus(request, kStatusOk);
    WriteContentType(request);
    return true;
}

void WriteLastModified(CRequest& request) {
    WriteHeader(request, L"Last-Modified", FormatHttpDate(request.response->fileInfo.lastWriteTime));
}

void StreamFile(CRequest& request) {
    ResponseSink& out = *request.response;
    const long long size = out.fileInfo.size;
    WriteHeaderNumber(request, L"Content-Length", size);
    EndHeaders(request);
    IoBuffer& buffer = out.buffer;
    out.fileBytesLeft = size;
    out.fileOffset = 0;
    // A file that fits beside the head goes out with it in one send and needs no
    // streaming; a larger one is streamed from its first byte, so that a download held
    // for long holds no copy of it.
    const size_t room = buffer.LogicalSize() > buffer.Pending() ? buffer.LogicalSize() - buffer.Pending() : 0;
    if (size > static_cast<long long>(room)) return;
    const long n = size > 0 ? ReadSomeAt(out.file.Get(), buffer.Data() + buffer.Pending(), static_cast<size_t>(size), 0) : 0;
    if (n > 0) {
        buffer.SetPending(buffer.Pending() + static_cast<size_t>(n));
        out.fileBytesLeft -= n;
        out.fileOffset = n;
    }
    // A file that cannot be read (or has shrunk to nothing) has no more to send.
    if (out.fileBytesLeft <= 0 || n <= 0) out.file.Reset();
}

void WriteBody(CRequest& request) {
    if (request.server->router) {
        request.server->router->Route(request);
        return;
    }
    if (!request.response->file.IsOpen()) {
        // Without the pages layer there is nothing that lists a folder.
        if (request.attributes >= 0 && (request.attributes & kAttributeFolder)) {
            WriteError(request, kStatusNotFound);
        } else {
            EndHeaders(request);
        }
        return;
    }
    WriteLastModified(request);
    StreamFile(request);
}

}  // namespace tarnhollow
