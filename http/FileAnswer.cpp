// The head of a file answer, its If-Modified-Since check, and streaming the open file
// behind it.
#include "http/FileAnswer.h"

#include <algorithm>
#include <string>

#include "http/ByteRange.h"
#include "http/HttpDate.h"
#include "http/MimeTypes.h"
#include "http/ResponseWriter.h"
#include "http/ServerContext.h"
#include "http/TextFiles.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// From this size on a streamed file's first bytes go out beside its head (see
// StreamFile).
constexpr long long kLargeFile = 1 << 20;

// The head is written as a 200 before anyone knows the file goes out as it is; a range
// turns its status line into `id`, keeping every header after it.
void ReplaceStatusLine(CRequest& request, unsigned id) {
    IoBuffer& buffer = request.response->buffer;
    const std::string head(buffer.PendingBytes());
    const size_t lineEnd = head.find("\r\n");
    buffer.Rewind();
    buffer.AppendBytes("HTTP/1.0 ");
    buffer.AppendText(LoadString(id));
    buffer.AppendBytes(lineEnd == std::string::npos ? std::string_view("\r\n") : std::string_view(head).substr(lineEnd));
    request.status = id;
}

// The range the request asks for, when it may have one: a plain file (a built page is
// never cut), and no If-Range naming another version of it.
ByteRange RequestedRange(const CRequest& request, long long size) {
    const std::wstring range = GetHeader(request, L"Range");
    if (range.empty() || IsTextFile(request)) return {};
    const std::wstring ifRange = GetHeader(request, L"If-Range");
    if (!ifRange.empty() && ifRange != FormatHttpDate(request.response->fileInfo.lastWriteTime)) return {};
    return ParseByteRange(range, size);
}

std::wstring ContentRange(long long first, long long last, long long size) {
    return L"bytes " + std::to_wstring(first) + L"-" + std::to_wstring(last) + L"/" + std::to_wstring(size);
}

}  // namespace

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
    const long long fileSize = out.fileInfo.size;
    const ByteRange range = RequestedRange(request, fileSize);
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        out.file.Reset();
        out.buffer.Rewind();
        WriteStatus(request, kStatusRangeNotSatisfiable);
        WriteHeader(request, L"Content-Range", L"bytes */" + std::to_wstring(fileSize));
        EndHeaders(request);
        out.buffer.AppendText(LoadString(kStatusRangeNotSatisfiable));
        return;
    }
    long long first = 0;
    long long size = fileSize;
    if (range.kind == ByteRange::Kind::Partial) {
        ReplaceStatusLine(request, kStatusPartialContent);
        WriteHeader(request, L"Content-Range", ContentRange(range.first, range.last, fileSize));
        first = range.first;
        size = range.last - range.first + 1;
    }
    if (!IsTextFile(request)) WriteHeader(request, L"Accept-Ranges", L"bytes");
    WriteHeaderNumber(request, L"Content-Length", size);
    EndHeaders(request);
    IoBuffer& buffer = out.buffer;
    out.fileBytesLeft = size;
    out.fileOffset = first;
    // A file that fits beside the head goes out with it in one send and needs no
    // streaming. A large one starts with as much of it as fits beside the head, sent at
    // once: the stream then runs in fuller segments, and 100 MiB over loopback went a
    // quarter faster than with the head sent alone or held back for the file. Between
    // the two the read and copy cost more than they gain: the file is streamed from its
    // first byte, the kernel holding the head back to go out with it. Either way the
    // buffer is let go once sent, so that a download held for long holds no copy of it.
    const size_t room = buffer.LogicalSize() > buffer.Pending() ? buffer.LogicalSize() - buffer.Pending() : 0;
    size_t firstBytes = static_cast<size_t>(std::min<long long>(size, static_cast<long long>(room)));
    if (static_cast<long long>(firstBytes) < size && size < kLargeFile) firstBytes = 0;
    out.headAwaitsFile = firstBytes == 0 && size > 0;
    if (out.headAwaitsFile) return;
    const long n = firstBytes > 0 ? ReadSomeAt(out.file.Get(), buffer.Data() + buffer.Pending(), firstBytes, first) : 0;
    if (n > 0) {
        buffer.SetPending(buffer.Pending() + static_cast<size_t>(n));
        out.fileBytesLeft -= n;
        out.fileOffset = first + n;
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
