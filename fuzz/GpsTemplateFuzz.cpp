// libFuzzer target for the GPS settings that are templates or addresses: the port name
// template, the NearMe URL template and a gpsd address, all arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "gps/GpsReader.h"
#include "gps/GpsdConnection.h"
#include "gps/NearMeUpdater.h"
#include "platform/TextConvert.h"

// Input: the template as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnhollow;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = AnsiToWide(bytes);
    // Each conversion adds a few characters at most; "%%" only removes one.
    FuzzCheck(FormatPortName(text, 9).size() <= WideToAnsi(text).size() + 4);
    FormatNearMeUrl(text, text, -123519, -1e308, 1e308, 80);
    if (const auto address = ParseGpsdAddress(bytes)) {
        FuzzCheck(!address->host.empty() && !address->port.empty() && address->port.size() <= 5);
    }
    return 0;
}
