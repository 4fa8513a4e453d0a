// Key presses on the X display named by DISPLAY through the XTest extension, addressed
// by the virtual-key codes of the remote control's key table.
#pragma once

#include <cstdint>
#include <map>

#include "platform/XDisplayConnection.h"

namespace tarnhollow {

// The X key symbol that stands for a virtual-key code here, or 0 (no symbol) for a code
// this platform has no key for:
//   0x0D Return, 0x1B Escape, 0x25..0x28 Left, Up, Right, Down, 0x30..0x39 the digits,
//   0x5B Super_L (the left Windows key), 0x70..0x7B F1..F12;
//   0xC1..0xC4 (the handheld's application buttons App1..App4, which start programs)
//   XF86Launch1..XF86Launch4;
//   0x86 (held around Return when the centre of the direction pad is pressed)
//   XF86Select, X's name for the select button of remotes and joypads.
unsigned long KeySymbolFor(uint8_t virtualKey);

class KeyInjector {
public:
    KeyInjector() = default;
    virtual ~KeyInjector() = default;
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;

    // One key-down or key-up event, sent at once. Without a display, without XTest, or
    // for a code without a key symbol nothing happens; that is not an error.
    virtual void SendKey(uint8_t virtualKey, bool down);

private:
    // The key code that produces `keySymbol`, binding the symbol to an unused key code
    // when the keyboard map has none; 0 when there is no key code to be had.
    unsigned KeyCodeFor(unsigned long keySymbol);

    XDisplayConnection display_;
    unsigned generation_ = 0;
    bool hasXTest_ = false;
    // Symbols this connection bound to spare key codes; the keyboard map held by Xlib
    // does not know them until it is refreshed.
    std::map<unsigned long, unsigned> bound_;
};

}  // namespace tarnhollow
