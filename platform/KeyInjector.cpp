// XTest key injection, with the mapping from virtual-key codes to X key symbols, the
// shift keys a symbol needs in the current layout, and the binding of symbols the
// keyboard map lacks to spare key codes.
#include "platform/KeyInjector.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <utility>

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

namespace {

// The group of `code` that is in effect while the keyboard is in `group`: a key with
// fewer groups maps the others into its own as its description says.
int GroupOfKey(const XkbDescRec& map, int code, int group) {
    const unsigned char info = XkbKeyGroupInfo(&map, code);
    const int groups = XkbNumGroups(info);
    if (group < groups) return group;
    switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange:
            return groups - 1;
        case XkbRedirectIntoRange:
            return XkbOutOfRangeGroupNumber(info) < groups ? XkbOutOfRangeGroupNumber(info) : 0;
        default:
            return group % groups;
    }
}

// The first key code that has `keySymbol` at `level` (0 plain, 1 Shift, 2 third-level
// shift, 3 both) in `group`; 0 when none has.
unsigned FindKey(const XkbDescRec& map, unsigned long keySymbol, int group, int level) {
    for (int code = map.min_key_code; code <= map.max_key_code; ++code) {
        if (XkbKeyNumGroups(&map, code) == 0) continue;
        const int keyGroup = GroupOfKey(map, code, group);
        if (level >= XkbKeyGroupWidth(&map, code, keyGroup)) continue;
        if (XkbKeySymEntry(&map, code, level, keyGroup) == keySymbol) return static_cast<unsigned>(code);
    }
    return 0;
}

}  // namespace

KeyInjector::~KeyInjector() { ForgetKeyboardMap(); }

void KeyInjector::SendKey(uint8_t virtualKey, bool down) {
    const unsigned long keySymbol = KeySymbolFor(virtualKey);
    if (keySymbol == NoSymbol) return;
    Display* display = display_.Get();
    if (!display) return;
    if (generation_ != display_.Generation()) {
        generation_ = display_.Generation();
        int event, error, major, minor;
        hasXTest_ = XTestQueryExtension(display, &event, &error, &major, &minor);
        ForgetKeyboardMap();
        held_.clear();
    }
    if (!hasXTest_) return;

    Keystroke press;
    if (auto found = held_.find(virtualKey); !down && found != held_.end()) {
        press = std::move(found->second);
        held_.erase(found);
    } else {
        // A round trip first: every change of the map the server made before it is then
        // read, whichever client made it.
        XkbStateRec state{};
        const int group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
        if (display_.ReadKeyboardMapChanges()) ForgetKeyboardMap();
        press = PressFor(keySymbol, group);
        if (press.keyCode == 0) return;
        if (down) held_[virtualKey] = press;
    }
    // Shift keys go down before the key and come up after it.
    if (down) {
        for (unsigned modifier : press.modifiers) XTestFakeKeyEvent(display, modifier, True, CurrentTime);
    }
    XTestFakeKeyEvent(display, press.keyCode, down ? True : False, CurrentTime);
    if (!down) {
        for (auto modifier = press.modifiers.rbegin(); modifier != press.modifiers.rend(); ++modifier) {
            XTestFakeKeyEvent(display, *modifier, False, CurrentTime);
        }
    }
    XFlush(display);
}

void KeyInjector::ForgetKeyboardMap() {
    if (keyboardMap_) XkbFreeKeyboard(keyboardMap_, 0, True);
    keyboardMap_ = nullptr;
    bound_.clear();
}

KeyInjector::Keystroke KeyInjector::PressFor(unsigned long keySymbol, int group) {
    if (auto found = bound_.find(keySymbol); found != bound_.end()) return {found->second, {}};
    Display* display = display_.Get();
    if (!keyboardMap_) keyboardMap_ = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (keyboardMap_) {
        const XkbDescRec& map = *keyboardMap_;
        unsigned shift = FindKey(map, XK_Shift_L, group, 0);
        if (!shift) shift = FindKey(map, XK_Shift_R, group, 0);
        unsigned thirdLevel = FindKey(map, XK_ISO_Level3_Shift, group, 0);
        if (!thirdLevel) thirdLevel = FindKey(map, XK_Mode_switch, group, 0);
        // The lowest level wins: the fewer keys held, the less the press can disturb.
        for (int level = 0; level < 4; ++level) {
            if (((level & 1) && !shift) || ((level & 2) && !thirdLevel)) continue;
            if (const unsigned code = FindKey(map, keySymbol, group, level)) {
                Keystroke press{code, {}};
                if (level & 1) press.modifiers.push_back(shift);
                if (level & 2) press.modifiers.push_back(thirdLevel);
                return press;
            }
        }
    } else if (const KeyCode code = XKeysymToKeycode(display, keySymbol)) {
        // A server without the keyboard extension: its first level only.
        return {code, {}};
    }
    return {BindToSpareKeyCode(keySymbol), {}};
}

unsigned KeyInjector::BindToSpareKeyCode(unsigned long keySymbol) {
    Display* display = display_.Get();
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
