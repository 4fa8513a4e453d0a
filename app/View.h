// What the main dialog's controller needs from whatever shows it: the status line and
// start errors. The headless view prints them; a window view draws them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnhollow {

// The dialog's fields, as its controls show them.
struct DialogFields {
    uint32_t port = 8080;
    bool enable = true;
    // The dynamic DNS account: host name, provider domain, user name and password.
    std::wstring name;
    std::wstring domain;
    std::wstring user;
    std::wstring password;
};

// Every call comes on the server thread. A view drawn on a thread of its own queues
// each call to that thread and changes the controller only through its posted commands.
class View {
public:
    virtual ~View() = default;
    // The status line changed.
    virtual void ShowStatusText(const std::wstring& text) = 0;
    // A start error, shown as an error message box would be.
    virtual void ShowError(const std::wstring& message) = 0;
    // Something the user should know that is not an error.
    virtual void ShowNotice(const std::wstring& message) = 0;
    // The data connection failed: the connection-error report, one line with the
    // connection manager's status. Shown as an error unless the view has its own screen.
    virtual void ShowConnectionError(const std::wstring& message) { ShowError(message); }
    // The fields for the controls, with the provider domains the list offers: after the
    // settings were read and after each successful Save.
    virtual void ShowFields(const DialogFields& /*fields*/, const std::vector<std::wstring>& /*domains*/) {}
    // The status line's address as a URL ("http://" + address), empty when it shows
    // none: for a view that shows it as a QR code.
    virtual void ShowAddressUrl(const std::wstring& /*url*/) {}
    // What Enter or a double-click on the status line opens; empty: nothing.
    virtual void SetOpenUrl(const std::wstring& /*url*/) {}
    // A page for the user's browser (the provider's sign-up page), where a view can open one.
    virtual void OpenInBrowser(const std::wstring& /*url*/) {}
};

}  // namespace tarnhollow
