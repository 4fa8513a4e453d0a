// libFuzzer target for the Range header of file requests: any header, any file size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/ByteRange.h"
#include "platform/TextConvert.h"

// Input: eight bytes of file size (any value, negative ones included), then the header
// as the wire carries it, one character per byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnhollow;
    if (size < 8) return 0;
    long long fileSize = 0;
    std::memcpy(&fileSize, data, 8);
    if (fileSize < 0) fileSize = -(fileSize + 1);
    std::wstring header;
    for (std::size_t i = 8; i < size; ++i) header += WidenByte(data[i]);
    const ByteRange range = ParseByteRange(header, fileSize);
    // A range that is sent always lies inside the file.
    if (range.kind == ByteRange::Kind::Partial) {
        FuzzCheck(range.first >= 0 && range.first <= range.last && range.last < fileSize);
    }
    return 0;
}
