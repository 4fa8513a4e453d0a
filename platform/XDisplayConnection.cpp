// Opening, keeping and recovering the X display connection, with Xlib's handlers for
// protocol errors and lost connections made survivable.
#include "platform/XDisplayConnection.h"

#include <X11/XKBlib.h>
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
        const auto now = std::chrono::steady_clock::now();
        if (now < nextAttempt_) return nullptr;
        InstallHandlers();
        display_ = XOpenDisplay(nullptr);
        if (!display_) {
            nextAttempt_ = now + kRetryInterval;
            return nullptr;
        }
        lost_ = false;
        watchingKeyboard_ = false;
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

bool XDisplayConnection::ReadKeyboardMapChanges() {
    if (!display_ || lost_) return false;
    if (!watchingKeyboard_) {
        // A client of the keyboard extension, as Xlib makes every one, hears of map
        // changes only when it asks.
        watchingKeyboard_ = true;
        int opcode, error, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (XkbQueryExtension(display_, &opcode, &keyboardEvents_, &error, &major, &minor)) {
            constexpr unsigned kMapChanges = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
            XkbSelectEvents(display_, XkbUseCoreKbd, kMapChanges, kMapChanges);
        } else {
            keyboardEvents_ = -1;
        }
    }
    bool changed = false;
    while (!lost_ && XPending(display_) > 0) {
        XkbEvent event;
        XNextEvent(display_, &event.core);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.core.xmapping);
            changed = changed || event.core.xmapping.request == MappingKeyboard;
        } else if (event.type == keyboardEvents_ && keyboardEvents_ >= 0) {
            if (event.any.xkb_type == XkbMapNotify) XkbRefreshKeyboardMapping(&event.map);
            changed = changed || event.any.xkb_type == XkbMapNotify || event.any.xkb_type == XkbNewKeyboardNotify;
        }
    }
    return changed;
}

void XDisplayConnection::OnConnectionLost(Display*, void* self) { static_cast<XDisplayConnection*>(self)->lost_ = true; }

void XDisplayConnection::Close() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    lost_ = false;
}

}  // namespace tarnhollow
