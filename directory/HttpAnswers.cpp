// Status lines and the error page.
#include "directory/HttpAnswers.h"

namespace tarnhollow::directory {

namespace {

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 413: return "Request Entity Too Large";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Internal Server Error";
    }
}

}  // namespace

std::string HttpAnswer(int status, std::string_view contentType, std::string_view body) {
    std::string answer = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    answer += "Server: tarnhollow-directory\r\n";
    answer += "Content-Type: ";
    answer += contentType;
    answer += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    answer += "Cache-Control: no-store\r\n\r\n";
    answer += body;
    return answer;
}

std::string ErrorAnswer(int status, std::string_view explanation) {
    const std::string title = std::to_string(status) + " " + Reason(status);
    return HttpAnswer(status, "text/html; charset=utf-8",
                      "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head>\n<body><h1>" + title +
                          "</h1>\n<p>" + HtmlEscaped(explanation) + "</p></body></html>\n");
}

std::string HtmlEscaped(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace tarnhollow::directory
