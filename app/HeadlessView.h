// The view without a window: the status line on stdout each time it changes, start
// errors on stderr.
#pragma once

#include "app/View.h"

namespace tarnhollow {

class HeadlessView : public View {
public:
    void ShowStatusText(const std::wstring& text) override;
    void ShowError(const std::wstring& message) override;
    bool HadError() const { return hadError_; }

private:
    std::wstring lastText_;
    bool hadError_ = false;
};

}  // namespace tarnhollow
