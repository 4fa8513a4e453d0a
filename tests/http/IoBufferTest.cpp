// The connection buffer's text appends: ASCII header lines take a short way in, which
// must give the same bytes as the code page conversion for every other text.
#include <gtest/gtest.h>

#include <string>

#include "http/IoBuffer.h"
#include "platform/TextConvert.h"

namespace tarnhollow {
namespace {

TEST(IoBuffer, TextOfEveryKindIsAppendedAsTheCodePageGivesIt) {
    const std::wstring cases[] = {
        L"Content-Type: text/html\r\n",
        L"Location: /caf\u00e9/\r\n",
        std::wstring(L"a\0b", 3),
        std::wstring(300, L'x'),
        std::wstring(255, L'y') + L"\u20ac",
        L"",
    };
    for (const std::wstring& text : cases) {
        IoBuffer buffer;
        buffer.AppendBytes("head ");
        buffer.AppendText(text);
        EXPECT_EQ(buffer.PendingBytes(), "head " + WideToAnsi(text)) << text.size();
    }
}

}  // namespace
}  // namespace tarnhollow
