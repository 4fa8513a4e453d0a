// The window view's side of the program: Qt's application and the main window on the
// process's first thread, the View the controller talks to, and the window's commands
// posted to the server thread. Qt's headers stay inside.
#pragma once

#include <functional>
#include <memory>

namespace asio {
class io_context;
}

namespace tarnhollow {

class CMainDialog;
class View;

class WindowApplication {
public:
    // True when a window can be shown: QT_QPA_PLATFORM names a platform that needs no
    // display (offscreen), an X display in DISPLAY answers, or WAYLAND_DISPLAY is set
    // and Qt has its Wayland platform.
    static bool Available();

    // On the first thread. `dialog`, `loadAndStart` and `stop` are called on the server
    // thread: the controller or null, the start once the window is shown, and the end.
    WindowApplication(int& argc, char** argv, asio::io_context& io, std::function<CMainDialog*()> dialog,
                      std::function<void()> loadAndStart, std::function<void()> stop);
    ~WindowApplication();
    WindowApplication(const WindowApplication&) = delete;
    WindowApplication& operator=(const WindowApplication&) = delete;

    View& ControllerView();

    // Shows the window and runs Qt's event loop until Quit.
    void Run();
    // From any thread.
    void Quit();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace tarnhollow
