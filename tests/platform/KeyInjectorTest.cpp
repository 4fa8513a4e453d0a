// Key injection: every virtual-key code of the remote control reaches another X client
// as its documented key symbol, with the modifiers its level needs.
#include "platform/KeyInjector.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "support/Xvfb.h"

namespace tarnhollow::test {
namespace {

TEST(KeyInjector, EveryKeyOfTheRemoteControlReachesTheDisplayAsItsSymbol) {
    XvfbServer xvfb(320, 240);
    ASSERT_TRUE(xvfb.Running()) << "Xvfb did not start (scripts/install-deps.sh test installs it)";
    ScopedDisplayVariable display(xvfb.Display());
    KeyRecorder recorder(xvfb.Display());
    ASSERT_TRUE(recorder.Ready());

    // The documented symbol of every code the remote control sends. XF86Select is not in
    // the server's default keyboard map: it is bound to a spare key code on first use,
    // and that binding is what the recorder reads back.
    const std::pair<uint8_t, const char*> keys[] = {
        // Codes without a key on this platform send nothing: first, so that a stray
        // event would shift every later one.
        {0x41, nullptr}, {0x7C, nullptr}, {0x00, nullptr},
        {0x70, "F1"},     {0x71, "F2"},     {0x5B, "Super_L"}, {0x1B, "Escape"},      {0x72, "F3"},
        {0x73, "F4"},     {0x78, "F9"},     {0x77, "F8"},      {0x75, "F6"},          {0x76, "F7"},
        {0x0D, "Return"}, {0x26, "Up"},     {0x28, "Down"},    {0x25, "Left"},        {0x27, "Right"},
        {0xC1, "XF86Launch1"}, {0xC2, "XF86Launch2"}, {0xC3, "XF86Launch3"}, {0xC4, "XF86Launch4"},
        {0x30, "0"}, {0x31, "1"}, {0x32, "2"}, {0x33, "3"}, {0x34, "4"}, {0x35, "5"}, {0x36, "6"},
        {0x37, "7"}, {0x38, "8"}, {0x39, "9"}, {0x86, "XF86Select"},
    };
    KeyInjector injector;
    std::vector<std::string> expected;
    for (const auto& [code, name] : keys) {
        injector.SendKey(code, true);
        injector.SendKey(code, false);
        if (!name) continue;
        expected.push_back(std::string("+") + name);
        expected.push_back(std::string("-") + name);
    }
    const std::vector<std::string> recorded = recorder.WaitFor(expected.size());
    ASSERT_EQ(recorded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(recorded[i], expected[i]) << "event " << i;
}

// Gives the key that carries "1" the layout of a French keyboard, where "1" is its
// shifted symbol, from a connection of the test's own.
void MoveOneToTheShiftLevel(const std::string& display) {
    ::Display* x = XOpenDisplay(display.c_str());
    ASSERT_TRUE(x);
    KeySym azerty[] = {XK_ampersand, XK_1};
    XChangeKeyboardMapping(x, XKeysymToKeycode(x, XK_1), 2, azerty, 1);
    XSync(x, False);
    XCloseDisplay(x);
}

void TypeOne(KeyInjector& injector) {
    injector.SendKey(0x31, true);
    injector.SendKey(0x31, false);
}

using Typed = std::vector<std::string>;

TEST(KeyInjector, ASymbolOnTheShiftLevelIsTypedWithShift) {
    XvfbServer xvfb(320, 240);
    ASSERT_TRUE(xvfb.Running());
    ScopedDisplayVariable display(xvfb.Display());
    MoveOneToTheShiftLevel(xvfb.Display());
    KeyRecorder recorder(xvfb.Display());
    KeyInjector injector;
    TypeOne(injector);
    EXPECT_EQ(recorder.WaitForTyped(4), (Typed{"+Shift_L", "+1", "-1", "-Shift_L"}));
}

TEST(KeyInjector, ALayoutChangedAfterAPressIsFollowedByTheNextPress) {
    XvfbServer xvfb(320, 240);
    ASSERT_TRUE(xvfb.Running());
    ScopedDisplayVariable display(xvfb.Display());
    KeyRecorder recorder(xvfb.Display());
    KeyInjector injector;
    TypeOne(injector);
    ASSERT_EQ(recorder.WaitForTyped(2), (Typed{"+1", "-1"}));
    MoveOneToTheShiftLevel(xvfb.Display());
    TypeOne(injector);
    EXPECT_EQ(recorder.WaitForTyped(6), (Typed{"+1", "-1", "+Shift_L", "+1", "-1", "-Shift_L"}));
}

}  // namespace
}  // namespace tarnhollow::test
