// X display helpers for tests: an Xvfb server of the test's own (free display number,
// stopped by PID), a painter of its root window and a recorder of its key events.
#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/record.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tarnhollow::test {

// Sets DISPLAY for the life of the object and puts the old value back afterwards.
class ScopedDisplayVariable {
public:
    explicit ScopedDisplayVariable(const std::string& value) {
        if (const char* old = std::getenv("DISPLAY")) old_ = old;
        hadOld_ = std::getenv("DISPLAY") != nullptr;
        ::setenv("DISPLAY", value.c_str(), 1);
    }
    ~ScopedDisplayVariable() {
        if (hadOld_) {
            ::setenv("DISPLAY", old_.c_str(), 1);
        } else {
            ::unsetenv("DISPLAY");
        }
    }
    ScopedDisplayVariable(const ScopedDisplayVariable&) = delete;
    ScopedDisplayVariable& operator=(const ScopedDisplayVariable&) = delete;

private:
    std::string old_;
    bool hadOld_ = false;
};

class XvfbServer {
public:
    XvfbServer(int width, int height) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid_ = ::fork();
        if (pid_ == 0) {
            const int announce = ::dup(pipeFds[1]);  // without close-on-exec
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(announce);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                     "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd wait{pipeFds[0], POLLIN, 0};
            if (::poll(&wait, 1, 200) <= 0) continue;
            char c;
            if (::read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(pipeFds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~XvfbServer() { Stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const { return !display_.empty(); }
    // ":N", or empty when the server did not start.
    const std::string& Display() const { return display_; }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        display_.clear();
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Paints the root window of `display` with `rgb` (width by height pixels, three bytes
// each, rows top to bottom) from its top-left corner.
inline bool PaintRoot(const std::string& display, int width, int height, const std::vector<unsigned char>& rgb) {
    ::Display* x = XOpenDisplay(display.c_str());
    if (!x) return false;
    const int screen = DefaultScreen(x);
    auto* data = static_cast<char*>(std::malloc(static_cast<size_t>(width) * static_cast<size_t>(height) * 4));
    XImage* image = XCreateImage(x, DefaultVisual(x, screen), static_cast<unsigned>(DefaultDepth(x, screen)), ZPixmap,
                                 0, data, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) {
        std::free(data);
        XCloseDisplay(x);
        return false;
    }
    for (int y = 0; y < height; ++y) {
        for (int x0 = 0; x0 < width; ++x0) {
            const unsigned char* p = rgb.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + x0) * 3;
            XPutPixel(image, x0, y, (static_cast<unsigned long>(p[0]) << 16) | (p[1] << 8) | p[2]);
        }
    }
    XPutImage(x, DefaultRootWindow(x), DefaultGC(x, screen), image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XSync(x, False);
    XDestroyImage(image);
    XCloseDisplay(x);
    return true;
}

// Records every key press and release on a display, from any client, as "+Name" and
// "-Name" with the key symbol's name (as the keyboard map says when they are read).
class KeyRecorder {
public:
    explicit KeyRecorder(const std::string& display) {
        control_ = XOpenDisplay(display.c_str());
        data_ = XOpenDisplay(display.c_str());
        if (!control_ || !data_) return;
        XRecordClientSpec clients = XRecordAllClients;
        XRecordRange* range = XRecordAllocRange();
        range->device_events.first = KeyPress;
        range->device_events.last = KeyRelease;
        context_ = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
        XFree(range);
        XSync(control_, False);
        if (!context_ || !XRecordEnableContextAsync(data_, context_, &KeyRecorder::Intercept,
                                                    reinterpret_cast<XPointer>(this))) {
            return;
        }
        // Nothing is recorded before the server says the recording has begun.
        Pump([this] { return started_; });
    }
    ~KeyRecorder() {
        if (context_) {
            XRecordDisableContext(control_, context_);
            XSync(control_, False);
            Pump([this] { return ended_; });
            XRecordFreeContext(control_, context_);
        }
        if (data_) XCloseDisplay(data_);
        if (control_) XCloseDisplay(control_);
    }
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    bool Ready() const { return started_; }

    // The events recorded so far, once there are at least `count` (or 10 seconds
    // have passed).
    std::vector<std::string> WaitFor(size_t count) {
        Pump([&] { return events_.size() >= count; });
        std::vector<std::string> named;
        for (const auto& [press, code] : events_) {
            int perCode = 0;
            KeySym* symbols = XGetKeyboardMapping(control_, static_cast<KeyCode>(code), 1, &perCode);
            const char* name = symbols && perCode > 0 ? XKeysymToString(symbols[0]) : nullptr;
            named.push_back(std::string(press ? "+" : "-") + (name ? name : "?" + std::to_string(code)));
            if (symbols) XFree(symbols);
        }
        return named;
    }

    // Like WaitFor, but each event named by the symbol a client reading it would see:
    // the one its key gives with the modifiers the event carries, in the keyboard map of
    // the moment it was recorded.
    std::vector<std::string> WaitForTyped(size_t count) {
        Pump([&] { return typed_.size() >= count; });
        return typed_;
    }

private:
    static void Intercept(XPointer self, XRecordInterceptData* data) {
        auto* recorder = reinterpret_cast<KeyRecorder*>(self);
        if (data->category == XRecordStartOfData) recorder->started_ = true;
        if (data->category == XRecordEndOfData) recorder->ended_ = true;
        if (data->category == XRecordFromServer && data->data_len > 0) {
            const unsigned char type = data->data[0] & 0x7F;
            if (type == KeyPress || type == KeyRelease) {
                recorder->events_.emplace_back(type == KeyPress, data->data[1]);
                uint16_t state = 0;  // where a key event carries it
                std::memcpy(&state, data->data + 28, sizeof state);
                recorder->typed_.push_back((type == KeyPress ? "+" : "-") + recorder->Typed(data->data[1], state));
            }
        }
        XRecordFreeData(data);
    }

    std::string Typed(unsigned char code, unsigned state) {
        XkbDescPtr map = XkbGetMap(control_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
        KeySym symbol = NoSymbol;
        unsigned consumed = 0;
        if (map) XkbTranslateKeyCode(map, code, state, &consumed, &symbol);
        if (map) XkbFreeKeyboard(map, 0, True);
        const char* name = symbol != NoSymbol ? XKeysymToString(symbol) : nullptr;
        return name ? name : "?" + std::to_string(code);
    }

    template <typename Done>
    void Pump(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            // The server holds recorded events until it next flushes output to some
            // client; a round trip on the control connection makes it flush.
            XSync(control_, False);
            XRecordProcessReplies(data_);
            if (done()) break;
            pollfd wait{ConnectionNumber(data_), POLLIN, 0};
            ::poll(&wait, 1, 100);
        }
    }

    ::Display* control_ = nullptr;
    ::Display* data_ = nullptr;
    XRecordContext context_ = 0;
    bool started_ = false;
    bool ended_ = false;
    std::vector<std::pair<bool, unsigned char>> events_;
    std::vector<std::string> typed_;
};

}  // namespace tarnhollow::test
