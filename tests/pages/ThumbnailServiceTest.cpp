// Picture thumbnails: decoding hostile files, the size of what is made, the cache's
// names for picture versions and its whole-file writes.
#include "pages/ThumbnailService.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "pages/PictureDecoder.h"
#include "pages/PngEncoder.h"
#include "pages/ThumbnailCache.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

RgbImage Flat(int width, int height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    return {width, height, std::vector<unsigned char>(bytes, 90)};
}

// A PNG header claiming `width` by `height`, with a valid checksum and no pixel data.
std::string PngHeaderClaiming(uint32_t width, uint32_t height) {
    std::string png = *EncodePng(Flat(1, 1));
    const auto put = [&png](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(value >> (24 - 8 * i));
    };
    put(16, width);
    put(20, height);
    // The IHDR checksum covers its type and data (bytes 12 to 28).
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
        crc ^= static_cast<unsigned char>(png[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    put(29, crc ^ 0xFFFFFFFFu);
    return png;
}

TEST(MakeThumbnail, FitsTheSquareOrRefusesWhatIsNoPicture) {
    const std::string jpeg = *EncodeJpeg(Flat(1600, 1200), 85);
    const std::string png = *EncodePng(Flat(90, 300));
    struct Row {
        const char* description;
        std::string bytes;
        int width, height;  // 0: no thumbnail
    };
    const Row rows[] = {
        {"large JPEG, decoded reduced", jpeg, 96, 72},
        {"PNG", png, 28, 96},
        {"JPEG cut in half, the rest grey", jpeg.substr(0, jpeg.size() / 2), 96, 72},
        {"JPEG signature only", "\xFF\xD8\xFF", 0, 0},
        {"PNG cut short", png.substr(0, 40), 0, 0},
        {"PNG claiming a huge size", PngHeaderClaiming(1u << 30, 1u << 30), 0, 0},
        {"PNG claiming more than the limit", PngHeaderClaiming(6000, 6000), 0, 0},
        {"text", "hello", 0, 0},
        {"nothing", "", 0, 0},
    };
    for (const Row& row : rows) {
        auto thumbnail = MakeThumbnail(row.bytes);
        if (row.width == 0) {
            EXPECT_FALSE(thumbnail) << row.description;
            continue;
        }
        ASSERT_TRUE(thumbnail) << row.description;
        auto decoded = DecodePicture(*thumbnail, INT_MAX, INT_MAX);
        ASSERT_TRUE(decoded) << row.description;
        EXPECT_EQ(decoded->width, row.width) << row.description;
        EXPECT_EQ(decoded->height, row.height) << row.description;
    }
}

// Found by fuzzing: a progressive JPEG of 251 bytes claiming 480 by 16385 pixels made
// the decoder take gigabytes of memory and seconds of work; its memory is now bounded.
TEST(DecodePicture, ASmallFileCannotMakeTheDecoderTakeUnboundedMemory) {
    const std::string hostile(
        "\xff\xd8\xff\xe0\x00\x10\x4a\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xdb\x00\x43"
        "\x00\x06\x04\x05\x06\x05\x04\x06\x06\x05\x06\x07\x07\x06\x08\x0a\x10\x0a\x0a\x09\x09\x0a\x14\x0e"
        "\x0f\x0c\x10\x17\x14\x18\x18\x17\x14\x16\x16\x1a\x1d\x25\x1f\x1a\x1b\x23\x1c\x16\x16\x20\x2c\x20"
        "\x23\x26\x27\x29\x2a\x29\x19\x1f\x2d\x30\x2d\x28\x30\x25\x28\x29\x28\xff\xdb\x00\x43\x01\x07\x07"
        "\x07\x0a\x08\x0a\x13\x0a\x0a\x13\x28\x1a\x16\x1a\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28"
        "\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28"
        "\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\xff\xc2\x00\x11\x08\x40\x01\xe0\x01\x03"
        "\x01\x22\x00\x02\x11\x01\x03\x11\x01\xff\xc4\x00\x1b\x00\x00\x03\x00\x03\x01\x01\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x01\x02\x03\x04\x05\x06\x07\xff\xc4\x00\x19\x01\x01\x01\x01\x01\x01"
        "\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x02\x03\x04\x05\xff\xda\x00\x0c\x03\x01\x00"
        "\x02\x10\x03\x10\x00\x00\x01\xeb\x0c\xa9\xcc",
        251);
    EXPECT_FALSE(DecodePicture(hostile, kThumbnailSide, kThumbnailSide));
}

TEST(DecodePicture, AJpegIsReducedOnlyAsFarAsTheBoxAllows) {
    const std::string jpeg = *EncodeJpeg(Flat(1600, 1200), 85);
    struct Row {
        int minWidth, minHeight, width, height;
    };
    const Row rows[] = {{96, 96, 200, 150}, {1600, 1200, 1600, 1200}, {5000, 5000, 1600, 1200}, {1, 1, 200, 150}};
    for (const Row& row : rows) {
        auto image = DecodePicture(jpeg, row.minWidth, row.minHeight);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, row.width) << row.minWidth;
        EXPECT_EQ(image->height, row.height) << row.minWidth;
    }
}

TEST(ThumbnailCache, EachVersionOfAPictureHasItsOwnFile) {
    TempDir folder;
    ThumbnailCache cache(folder.Path() + "/thumbnails/");
    const std::string file = cache.FileFor("/root/a.jpg", 100, 1700000000);
    EXPECT_EQ(file, cache.FileFor("/root/a.jpg", 100, 1700000000));
    EXPECT_NE(file, cache.FileFor("/root/b.jpg", 100, 1700000000));
    EXPECT_NE(file, cache.FileFor("/root/a.jpg", 101, 1700000000));
    EXPECT_NE(file, cache.FileFor("/root/a.jpg", 100, 1700000001));
    EXPECT_TRUE(file.starts_with(folder.Path() + "/thumbnails/"));

    ASSERT_TRUE(cache.Store(file, "thumbnail"));
    EXPECT_EQ(folder.Read("thumbnails/" + file.substr(file.rfind('/') + 1)), "thumbnail");
    ASSERT_TRUE(cache.Store(file, ""));
    EXPECT_EQ(folder.Read("thumbnails/" + file.substr(file.rfind('/') + 1)), "");
    ThumbnailCache unwritable("/proc/no-such-folder/");
    EXPECT_FALSE(unwritable.Store("/proc/no-such-folder/x.jpg", "x"));
}

}  // namespace
}  // namespace tarnhollow::test
