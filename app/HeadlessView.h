// The view without a window: the status line on stdout each time it changes, start
// errors and notices on stderr, with no control character reaching the terminal; on
// request the first address shown, once, as a QR code.
#pragma once

#include "app/View.h"

namespace tarnhollow {

class HeadlessView : public View {
public:
    explicit HeadlessView(bool printQr = false) : printQr_(printQr) {}
    void ShowStatusText(const std::wstring& text) override;
    void ShowError(const std::wstring& message) override;
    void ShowNotice(const std::wstring& message) override;
    void ShowAddressUrl(const std::wstring& url) override;

private:
    std::wstring lastText_;
    bool printQr_;
};

}  // namespace tarnhollow
