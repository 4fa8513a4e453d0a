// The Range header: each form, ranges past the end, and what falls back to the whole file.
#include "http/ByteRange.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/TextConvert.h"

namespace tarnhollow::test {
namespace {

TEST(ByteRange, OneRangeOfEachFormAndEveryFallBack) {
    using Kind = ByteRange::Kind;
    struct Row {
        const wchar_t* header;
        long long size;
        Kind kind;
        long long first, last;
    };
    const Row rows[] = {
        {L"bytes=-10", 100, Kind::Partial, 90, 99}, {L"BYTES = 5 - 5", 100, Kind::Partial, 5, 5},
        {L"bytes=-1000", 100, Kind::Partial, 0, 99}, {L"bytes=99-99", 100, Kind::Partial, 99, 99},
        {L"bytes=100-200", 100, Kind::Unsatisfiable, 0, 0}, {L"bytes=-0", 100, Kind::Unsatisfiable, 0, 0},
        {L"bytes=0-", 0, Kind::Unsatisfiable, 0, 0}, {L"bytes=-5", 0, Kind::Unsatisfiable, 0, 0},
        {L"bytes=-", 100, Kind::Whole, 0, 0}, {L"bytes=a-b", 100, Kind::Whole, 0, 0},
        {L"bytes=+1-2", 100, Kind::Whole, 0, 0}, {L"bytes 0-9", 100, Kind::Whole, 0, 0},
        {L"bytes=99999999999999999999-", 100, Kind::Whole, 0, 0},
        {L"bytes=0-99999999999999999999", 100, Kind::Whole, 0, 0},
        {L"bytes=9223372036854775807-", 100, Kind::Unsatisfiable, 0, 0}, {L"", 100, Kind::Whole, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToAnsi(row.header));
        const ByteRange range = ParseByteRange(row.header, row.size);
        EXPECT_EQ(range.kind, row.kind);
        if (row.kind == Kind::Partial) {
            EXPECT_EQ(std::tie(range.first, range.last), std::tie(row.first, row.last));
        }
    }
}

}  // namespace
}  // namespace tarnhollow::test
