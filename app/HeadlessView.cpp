// Printing the status line and start errors.
#include "app/HeadlessView.h"

#include <cstdio>

#include "platform/TextConvert.h"

namespace tarnhollow {

void HeadlessView::ShowStatusText(const std::wstring& text) {
    if (text == lastText_) return;
    lastText_ = text;
    std::printf("%s\n", WideToAnsi(text).c_str());
    std::fflush(stdout);
}

void HeadlessView::ShowError(const std::wstring& message) {
    hadError_ = true;
    std::fprintf(stderr, "%s\n", WideToAnsi(message).c_str());
    std::fflush(stderr);
}

}  // namespace tarnhollow
