// libFuzzer target for the Authorization header: any bytes a client may send.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/BasicCredentials.h"
#include "platform/TextConvert.h"

// Input: the header's value as the wire carries it, one character per byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnhollow;
    std::wstring header;
    for (std::size_t i = 0; i < size; ++i) header += WidenByte(data[i]);
    if (const auto credentials = ParseBasicCredentials(header)) {
        // Base64 decodes to three bytes for four characters at most, and nothing that
        // reaches the password check holds a NUL or loses the user's colon.
        FuzzCheck(credentials->user.size() + credentials->password.size() + 1 <= size * 3 / 4);
        FuzzCheck(credentials->user.find(':') == std::string::npos);
        FuzzCheck(credentials->password.find('\0') == std::string::npos);
    }
    return 0;
}
