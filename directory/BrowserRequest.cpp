// The request line, the Host and Content-Length headers, and where the request ends.
#include "directory/BrowserRequest.h"

#include <strings.h>

#include "directory/WholeNumbers.h"

namespace tarnhollow::directory {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool NameIs(std::string_view name, const char* wanted) {
    return name.size() == std::char_traits<char>::length(wanted) &&
           ::strncasecmp(name.data(), wanted, name.size()) == 0;
}

}  // namespace

BrowserRequest ParseBrowserRequest(std::string_view received, size_t maxBytes) {
    BrowserRequest request;
    size_t headEnd = std::string_view::npos;
    size_t bodyStart = 0;
    for (size_t at = received.find('\n'); at != std::string_view::npos; at = received.find('\n', at + 1)) {
        if (at + 1 < received.size() && received[at + 1] == '\n') {
            headEnd = at + 1;
            bodyStart = at + 2;
            break;
        }
        if (at + 2 < received.size() && received[at + 1] == '\r' && received[at + 2] == '\n') {
            headEnd = at + 1;
            bodyStart = at + 3;
            break;
        }
    }
    if (headEnd == std::string_view::npos) {
        request.state =
            received.size() >= maxBytes ? BrowserRequest::State::TooLarge : BrowserRequest::State::Incomplete;
        return request;
    }
    const std::string_view head = received.substr(0, headEnd);
    const size_t lineEnd = head.find('\n');
    const std::string_view line = Trimmed(head.substr(0, lineEnd));
    const size_t space = line.find(' ');
    const size_t secondSpace = space == std::string_view::npos ? space : line.find(' ', space + 1);
    if (space == 0 || space == std::string_view::npos) {
        request.state = BrowserRequest::State::Malformed;
        return request;
    }
    request.method = std::string(line.substr(0, space));
    const std::string_view target = line.substr(space + 1, secondSpace == std::string_view::npos
                                                                ? std::string_view::npos
                                                                : secondSpace - space - 1);
    if (target.empty()) {
        request.state = BrowserRequest::State::Malformed;
        return request;
    }
    const size_t question = target.find('?');
    request.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos) request.query = std::string(target.substr(question + 1));

    size_t contentLength = 0;
    bool hasLength = false;
    for (size_t start = lineEnd + 1; start < head.size();) {
        size_t end = head.find('\n', start);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view header = head.substr(start, end - start);
        start = end + 1;
        const size_t colon = header.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = header.substr(0, colon);
        const std::string_view value = Trimmed(header.substr(colon + 1));
        if (NameIs(name, "Host")) {
            request.host = std::string(value);
        } else if (NameIs(name, "Content-Length")) {
            long length = 0;
            // Two lengths that differ leave no way to know where the request ends.
            if (!ParseWholeNumber(value, 0, 999999999, length) ||
                (hasLength && static_cast<size_t>(length) != contentLength)) {
                request.state = BrowserRequest::State::Malformed;
                return request;
            }
            contentLength = static_cast<size_t>(length);
            hasLength = true;
        }
    }
    request.size = bodyStart + contentLength;
    if (request.size > maxBytes) {
        request.state = BrowserRequest::State::TooLarge;
    } else if (received.size() >= request.size) {
        request.state = BrowserRequest::State::Complete;
    }
    return request;
}

}  // namespace tarnhollow::directory
