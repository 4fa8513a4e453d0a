// Printing the status line and start errors.
#include "app/HeadlessView.h"

#include <unistd.h>

#include <cstdio>

#include "app/QrCode.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// Text from visitors can reach these lines (the last blog post's path): a terminal
// would obey its control sequences, so every control character but the line feed of
// a message is shown as "?".
std::string Printable(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if ((c < 0x20 && c != L'\n') || (c >= 0x7F && c <= 0x9F)) c = L'?';
    }
    return WideToAnsi(out);
}

void PrintLine(std::FILE* stream, const std::wstring& text) {
    std::fprintf(stream, "%s\n", Printable(text).c_str());
    std::fflush(stream);
}

}  // namespace

void HeadlessView::ShowStatusText(const std::wstring& text) {
    if (text == lastText_) return;
    lastText_ = text;
    // The status line is one line.
    std::wstring line = text;
    for (wchar_t& c : line) {
        if (c == L'\n') c = L'?';
    }
    PrintLine(stdout, line);
}

void HeadlessView::ShowError(const std::wstring& message) { PrintLine(stderr, message); }

void HeadlessView::ShowNotice(const std::wstring& message) { PrintLine(stderr, message); }

void HeadlessView::ShowAddressUrl(const std::wstring& url) {
    if (!printQr_ || url.empty()) return;
    const std::string drawing = QrHalfBlocks(EncodeQr(WideToAnsi(url)), 2, ::isatty(STDOUT_FILENO) == 1);
    if (drawing.empty()) return;
    printQr_ = false;
    std::fputs(drawing.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace tarnhollow
