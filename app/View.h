// What the main dialog's controller needs from whatever shows it: the status line and
// start errors. The headless view prints them; a window view draws them.
#pragma once

#include <string>

namespace tarnhollow {

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
};

}  // namespace tarnhollow
