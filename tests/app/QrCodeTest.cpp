// QR codes of the status line's address and their drawing in half blocks.
#include "app/QrCode.h"

#include <gtest/gtest.h>

namespace tarnhollow::test {
namespace {

TEST(QrCodeTest, AnAddressEncodesAsTheSmallestVersionThatHoldsIt) {
    const QrCode code = EncodeQr("http://192.0.2.1:8080");
    EXPECT_EQ(code.size, 25);  // version 2 at medium error correction
    // The finder pattern's corner, dark, then the separator, light.
    EXPECT_TRUE(code.Dark(0, 0));
    EXPECT_FALSE(code.Dark(7, 7));
}

TEST(QrCodeTest, HalfBlocksDrawLightModulesTwoRowsToALine) {
    struct Case {
        const char* description;
        QrCode code;
        bool colours;
        std::string expected;
    };
    const Case cases[] = {
        {"one dark module in its quiet zone", {1, {true}}, false, "\u2588\u2580\u2588\n\u2580\u2580\u2580\n"},
        {"one light module", {1, {false}}, false, "\u2588\u2588\u2588\n\u2580\u2580\u2580\n"},
        {"two rows: dark over light", {2, {true, true, false, false}}, false,
         "\u2588\u2580\u2580\u2588\n\u2588\u2588\u2588\u2588\n"},
        {"colours", {1, {true}}, true, "\x1b[97;40m\u2588\u2580\u2588\x1b[0m\n\x1b[97;40m\u2580\u2580\u2580\x1b[0m\n"},
        {"nothing to draw", {}, false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(QrHalfBlocks(c.code, 1, c.colours), c.expected) << c.description;
}

}  // namespace
}  // namespace tarnhollow::test
