// XTest key injection, with the mapping from virtual-key codes to X key symbols and
// the binding of symbols the keyboard map lacks to spare key codes.
#include "platform/KeyInjector.h"

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tarnhollow {

namespace {

struct KeyMapping {
    uint8_t virtualKey;
    unsigned long keySymbol;
};

constexpr KeyMapping kKeyMappings[] = {
    {0x0D, XK_Return},         {0x1B, XK_Escape},         {0x25, XK_Left},           {0x26, XK_Up},
    {0x27, XK_Right},          {0x28, XK_Down},           {0x5B, XK_Super_L},        {0x86, XF86XK_Select},
    {0xC1, XF86XK_Launch1},    {0xC2, XF86XK_Launch2},    {0xC3, XF86XK_Launch3},    {0xC4, XF86XK_Launch4},
};

constexpr uint8_t kFirstDigit = 0x30, kLastDigit = 0x39;
constexpr uint8_t kFirstFunctionKey = 0x70, kLastFunctionKey = 0x7B;

}  // namespace

unsigned long KeySymbolFor(uint8_t virtualKey) {
    if (virtualKey >= kFirstDigit && virtualKey <= kLastDigit) return XK_0 + (virtualKey - kFirstDigit);
    if (virtualKey >= kFirstFunctionKey && virtualKey <= kLastFunctionKey) {
        return XK_F1 + (virtualKey - kFirstFunctionKey);
    }
    for (const KeyMapping& mapping : kKeyMappings) {
        if (mapping.virtualKey == virtualKey) return mapping.keySymbol;
    }
    return NoSymbol;
}

void KeyInjector::SendKey(uint8_t virtualKey, bool down) {
    const unsigned long keySymbol = KeySymbolFor(virtualKey);
    if (keySymbol == NoSymbol) return;
    Display* display = display_.Get();
    if (!display) return;
    if (generation_ != display_.Generation()) {
        generation_ = display_.Generation();
        int event, error, major, minor;
        hasXTest_ = XTestQueryExtension(display, &event, &error, &major, &minor);
        bound_.clear();
    }
    if (!hasXTest_) return;
    const unsigned keyCode = KeyCodeFor(keySymbol);
    if (keyCode == 0) return;
    XTestFakeKeyEvent(display, keyCode, down ? True : False, CurrentTime);
    XFlush(display);
}

unsigned KeyInjector::KeyCodeFor(unsigned long keySymbol) {
    Display* display = display_.Get();
    if (auto found = bound_.find(keySymbol); found != bound_.end()) return found->second;
    if (KeyCode code = XKeysymToKeycode(display, keySymbol)) return code;

    // Taken from the top of the range, where keyboards rarely have keys; the binding
    // stays for the life of the X server, as other programs may still be reading it.
    int first = 0, last = 0;
    XDisplayKeycodes(display, &first, &last);
    int perCode = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(first), last - first + 1, &perCode);
    if (!map) return 0;
    unsigned spare = 0;
    for (int code = last; code >= first && spare == 0; --code) {
        bool unused = true;
        for (int i = 0; i < perCode && unused; ++i) unused = map[(code - first) * perCode + i] == NoSymbol;
        if (unused) spare = static_cast<unsigned>(code);
    }
    XFree(map);
    if (spare == 0) return 0;
    KeySym symbol = keySymbol;
    XChangeKeyboardMapping(display, static_cast<int>(spare), 1, &symbol, 1);
    if (!display_.SyncWithoutErrors()) return 0;
    bound_[keySymbol] = spare;
    return spare;
}

}  // namespace tarnhollow
