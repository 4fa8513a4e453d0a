// Key presses on the X display named by DISPLAY through the XTest extension, addressed
// by the virtual-key codes of the remote control's key table.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/XDisplayConnection.h"

struct _XkbDesc;

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
    virtual ~KeyInjector();
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;

    // One key-down or key-up event, sent at once. Without a display, without XTest, or
    // for a code without a key symbol nothing happens; that is not an error. A symbol
    // that the current layout puts on a shifted level is pressed with those shift keys
    // held around it, so that it comes out as itself.
    virtual void SendKey(uint8_t virtualKey, bool down);

private:
    // A key code and the modifier keys to hold while it is down.
    struct Keystroke {
        unsigned keyCode = 0;
        std::vector<unsigned> modifiers;
    };

    // How to type `keySymbol` in keyboard group `group` (the current layout), binding the
    // symbol to an unused key code when the keyboard map has none; key code 0 when there
    // is no key code to be had.
    Keystroke PressFor(unsigned long keySymbol, int group);
    unsigned BindToSpareKeyCode(unsigned long keySymbol);
    void ForgetKeyboardMap();

    XDisplayConnection display_;
    unsigned generation_ = 0;
    bool hasXTest_ = false;
    // The server's keyboard description, fetched on first need and dropped when the
    // server says the keyboard map changed.
    _XkbDesc* keyboardMap_ = nullptr;
    // Symbols this connection bound to spare key codes; keyboardMap_ does not know them
    // until the server's notice of the change has been read.
    std::map<unsigned long, unsigned> bound_;
    // How each key now down was pressed, so that its release lets go of the same keys
    // even when the layout changed in between.
    std::map<uint8_t, Keystroke> held_;
};

}  // namespace tarnhollow
