// The remote control: a "value" parameter under "/RemoteControl/" presses that key
// here (on the display's own thread) and sends the browser back; without one the page
// expires a minute ahead.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "pages/ServiceHandler.h"
#include "pages/SiteState.h"
#include "platform/BackgroundQueue.h"
#include "platform/KeyInjector.h"

namespace tarnhollow {

// The 29 keys by exact name (letter case included) and their virtual-key codes.
const std::map<std::wstring, uint8_t, std::less<>>& KeyTable();

class RemoteControlService : public ServiceHandler {
public:
    // Not owned: the server's page strings, the key injector, and the queue whose
    // thread alone uses the display, so a slow display never holds the server thread.
    RemoteControlService(SiteState& site, KeyInjector& keys, BackgroundQueue& display);

    bool Handle(CRequest& request) override;

    // Presses and releases the named key; false when the key table has no such name,
    // and then nothing is pressed. App1 to App4 are pressed inside a press of the
    // Windows key (released before the application key), Action inside a press of
    // code 0x86. Runs on the calling thread.
    static bool PressKey(KeyInjector& keys, std::wstring_view name);

private:
    SiteState& site_;
    KeyInjector& keys_;
    BackgroundQueue& display_;
};

}  // namespace tarnhollow
