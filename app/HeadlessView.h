// The view without a window: the status line on stdout each time it changes, start
// errors and notices on stderr, with no control character reaching the terminal.
#pragma once

#include "app/View.h"

namespace tarnhollow {

class HeadlessView : public View {
public:
    void ShowStatusText(const std::wstring& text) override;
    void ShowError(const std::wstring& message) override;
    void ShowNotice(const std::wstring& message) override;

private:
    std::wstring lastText_;
};

}  // namespace tarnhollow
