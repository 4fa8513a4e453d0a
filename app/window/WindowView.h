// The controller's View for the window: each call, made on the server thread, is queued
// to Qt's thread with copies of its arguments and runs there, if the window still exists.
#pragma once

#include "app/HeadlessView.h"
#include "app/View.h"
#include "app/window/MainWindow.h"

namespace tarnhollow {

class WindowView : public View {
public:
    explicit WindowView(MainWindow& window) : window_(&window) {}

    void ShowStatusText(const std::wstring& text) override;
    void ShowError(const std::wstring& message) override;
    // Notices go to stderr as without a window: none of them needs an answer.
    void ShowNotice(const std::wstring& message) override { terminal_.ShowNotice(message); }
    void ShowFields(const DialogFields& fields, const std::vector<std::wstring>& domains) override;
    void ShowAddressUrl(const std::wstring& url) override;
    void SetOpenUrl(const std::wstring& url) override;
    void OpenInBrowser(const std::wstring& url) override;

private:
    template <typename Call>
    void Queue(Call call);

    // Read on the server thread only to name the receiver; the window is touched on its own.
    MainWindow* window_;
    HeadlessView terminal_;
};

}  // namespace tarnhollow
