// The request record every handler reads, and the parsing of request lines, header
// lines, URLs and query strings into it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "http/IoBuffer.h"
#include "platform/File.h"

namespace tarnhollow {

struct ServerContext;
class AnswerResumer;

enum class ReadState { RequestLine, Headers, Body, Complete };

// Where a response goes: the connection's send buffer and the file it may leave open
// for streaming. Owned by the connection (or by a test); the request points at it.
struct ResponseSink {
    IoBuffer buffer;
    UniqueFd file;
    // Size and last-write time of `file`, as it was when opened.
    FileInfo fileInfo;
    // Bytes of `file` still to be sent: what the Content-Length announced, less what is
    // already in the buffer. A file that grows meanwhile is not sent past it.
    long long fileBytesLeft = 0;
    // Where in `file` they begin. Reads and sends name the offset, so nobody needs to
    // reposition the file, whoever read from it before.
    long long fileOffset = 0;
    // Whether the buffer holds a head alone that `file` follows, for the kernel to hold
    // back until the file's first bytes join it.
    bool headAwaitsFile = false;
    // Set while a service finishes the answer later (see PendingAnswer.h).
    bool deferred = false;
    // Not owned: the connection, when it can wait for a deferred answer.
    AnswerResumer* resumer = nullptr;
};

struct CRequest {
    std::wstring peerAddress;
    std::wstring method;
    std::wstring urlPath;
    std::wstring version;
    // Names are stored lower-cased, so lookups through GetHeader ignore case.
    std::unordered_map<std::wstring, std::wstring> headers;
    std::string body;
    long long contentLength = 0;
    std::wstring filePath;
    int attributes = -1;
    // The mapped regular file when mapping found it open already, for the answer to take.
    UniqueFd mappedFile;
    FileInfo mappedFileInfo;
    std::wstring rawQuery;
    std::map<std::wstring, std::wstring> parameters;
    // String-table id of the status written so far; 0 while no response has begun.
    unsigned status = 0;
    // The names of the mapped folder as mapping read them, looking for a default
    // document; nothing for a file or a folder that could not be read.
    std::optional<std::vector<std::string>> folderNames;
    // The user whose password a protected folder accepted; empty otherwise.
    std::wstring authenticatedUser;

    // Not owned: the server that accepted the connection, and the connection's output.
    const ServerContext* server = nullptr;
    ResponseSink* response = nullptr;
};

// Interprets one complete, non-empty line according to `state` and advances it.
void ParseLine(CRequest& request, ReadState& state, std::wstring_view line);

// Percent-decodes through the 8-bit code page; "%%" is one "%". A "%" not followed by
// two more characters stays a literal "%", so the text is never read past its end.
std::wstring UrlDecode(std::wstring_view text, bool plusAsSpace);

void ParseQuery(std::wstring_view query, std::map<std::wstring, std::wstring>& parameters);

// The header's value, or empty when absent; the name is matched ignoring case.
std::wstring GetHeader(const CRequest& request, std::wstring_view name);

// White space as the character-type table classes it.
bool IsSpace(wchar_t c);
std::wstring_view TrimLeft(std::wstring_view text);
std::wstring_view TrimRight(std::wstring_view text);

// "%d"-like conversion: leading white space, optional sign, digits up to the first
// non-digit; no digits give 0. Saturates instead of overflowing.
long long ParseSignedDecimal(std::wstring_view text);

}  // namespace tarnhollow
