// Opening, keeping and recovering the X display connection, with Xlib's handlers for
// protocol errors and lost connections made survivable.
#include "platform/XDisplayConnection.h"

#include <X11/Xlib.h>

#include <atomic>
#include <mutex>

namespace tarnhollow {

namespace {

// Xlib's own handlers end the process; the display is an extra of a server that must
// go on serving without it.
std::atomic<unsigned> protocolErrors{0};

int CountProtocolError(Display*, XErrorEvent*) {
    ++protocolErrors;
    return 0;
}

// The loss is noticed through the display's exit handler; nothing to print.
int IgnoreConnectionLoss(Display*) { return 0; }

void InstallHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(CountProtocolError);
        XSetIOErrorHandler(IgnoreConnectionLoss);
    });
}

}  // namespace

XDisplayConnection::~XDisplayConnection() { Close(); }

Display* XDisplayConnection::Get() {
    if (display_ && lost_) Close();
    if (!display_) {
        InstallHandlers();
        display_ = XOpenDisplay(nullptr);
        if (!display_) return nullptr;
        lost_ = false;
        ++generation_;
        // Without this handler Xlib would end the process once the server goes away;
        // with it, the failing call returns and the next Get opens a new connection.
        XSetIOErrorExitHandler(display_, OnConnectionLost, this);
    }
    return display_;
}

bool XDisplayConnection::SyncWithoutErrors() {
    if (!display_ || lost_) return false;
    const unsigned before = protocolErrors.load();
    XSync(display_, False);
    return !lost_ && protocolErrors.load() == before;
}

void XDisplayConnection::OnConnectionLost(Display*, void* self) { static_cast<XDisplayConnection*>(self)->lost_ = true; }

void XDisplayConnection::Close() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    lost_ = false;
}

}  // namespace tarnhollow
