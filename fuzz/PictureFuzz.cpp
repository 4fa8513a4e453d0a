// libFuzzer target for the pictures of the document root, which anyone who can put a
// file there controls: any bytes go through the JPEG and PNG decoders and the whole
// thumbnail path; a decoded picture must match its claimed size and stay within the
// pixel limit, and a thumbnail must fit its square.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "pages/PictureDecoder.h"
#include "pages/ThumbnailService.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnhollow;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto image = DecodePicture(bytes, kThumbnailSide, kThumbnailSide)) {
        FuzzCheck(image->IsValid());
        FuzzCheck(static_cast<long long>(image->width) * image->height <= kMaxDecodedPixels);
    }
    if (auto thumbnail = MakeThumbnail(bytes)) {
        auto decoded = DecodePicture(*thumbnail, 1 << 20, 1 << 20);
        FuzzCheck(decoded && decoded->width <= kThumbnailSide && decoded->height <= kThumbnailSide);
    }
    return 0;
}
