// The key table, the press order of each key and the remote-control pages.
#include "pages/RemoteControlService.h"

#include "http/HttpDate.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "pages/PageBuilder.h"
#include "pages/ReplacementAnswer.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kPrefix[] = L"/RemoteControl/";
// The page is reloaded often enough to show a fresh screenshot thumbnail.
constexpr long long kPageLifetimeSeconds = 60;

constexpr uint8_t kReturn = 0x0D;
constexpr uint8_t kWindows = 0x5B;
constexpr uint8_t kActionCompanion = 0x86;
constexpr uint8_t kFirstApplicationKey = 0xC1, kLastApplicationKey = 0xC4;

}  // namespace

const std::map<std::wstring, uint8_t, std::less<>>& KeyTable() {
    static const std::map<std::wstring, uint8_t, std::less<>> table = {
        {L"Key1", 0x70},  {L"Key2", 0x71}, {L"Home", 0x5B}, {L"Back", 0x1B}, {L"Talk", 0x72}, {L"End", 0x73},
        {L"#", 0x78},     {L"*", 0x77},    {L"Vol+", 0x75}, {L"Vol-", 0x76}, {L"Action", 0x0D},
        {L"Up", 0x26},    {L"Down", 0x28}, {L"Left", 0x25}, {L"Right", 0x27}, {L"App1", 0xC1},
        {L"App2", 0xC2},  {L"App3", 0xC3}, {L"App4", 0xC4}, {L"1", 0x31},    {L"2", 0x32},    {L"3", 0x33},
        {L"4", 0x34},     {L"5", 0x35},    {L"6", 0x36},    {L"7", 0x37},    {L"8", 0x38},    {L"9", 0x39},
        {L"0", 0x30},
    };
    return table;
}

RemoteControlService::RemoteControlService(SiteState& site, KeyInjector& keys, BackgroundQueue& display)
    : site_(site), keys_(keys), display_(display) {}

bool RemoteControlService::Handle(CRequest& request) {
    if (!MappedUrlPath(request).starts_with(kPrefix)) return false;
    // Only "value" counts; the demo pages also send "param" and "all", which do nothing.
    const auto value = request.parameters.find(L"value");
    if (value != request.parameters.end() && !value->second.empty()) {
        const std::wstring& name = value->second;
        // Presses go in order through the display's queue; when it is full the key is
        // not pressed, and the visitor is told so rather than sent back as if it were.
        if (KeyTable().contains(name) &&
            !display_.Run([&keys = keys_, name] { PressKey(keys, name); })) {
            ReplaceWithError(request, kStatusServiceUnavailable);
            return true;
        }
        RedirectToRequestPath(request);
        return true;
    }
    WriteHeader(request, L"Expires", FormatHttpDate(std::nullopt, kPageLifetimeSeconds));
    return BuildPage(request, site_);
}

bool RemoteControlService::PressKey(KeyInjector& keys, std::wstring_view name) {
    const auto found = KeyTable().find(name);
    if (found == KeyTable().end()) return false;
    const uint8_t key = found->second;
    const bool applicationKey = key >= kFirstApplicationKey && key <= kLastApplicationKey;
    if (key == kReturn) {
        keys.SendKey(kActionCompanion, true);
    } else if (applicationKey) {
        keys.SendKey(kWindows, true);
    }
    keys.SendKey(key, true);
    if (applicationKey) keys.SendKey(kWindows, false);
    keys.SendKey(key, false);
    if (key == kReturn) keys.SendKey(kActionCompanion, false);
    return true;
}

}  // namespace tarnhollow
