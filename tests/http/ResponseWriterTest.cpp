// The response writers: header numbers and complete error responses.
#include "http/ResponseWriter.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(ResponseWriter, NumbersAndErrors) {
    ResponseSink sink;
    CRequest request;
    request.response = &sink;
    WriteHeaderNumber(request, L"A", 0);
    WriteHeaderNumber(request, L"B", -12);
    EXPECT_EQ(sink.buffer.PendingBytes(), "A: 0\r\nB: -12\r\n");

    ResponseSink errorSink;
    CRequest failing;
    failing.response = &errorSink;
    WriteError(failing, kStatusNotFound);
    EXPECT_EQ(failing.status, kStatusNotFound);
    const std::string raw(errorSink.buffer.PendingBytes());
    const Response r = ParseResponse(raw);
    EXPECT_EQ(r.statusLine, "HTTP/1.0 404 Not Found");
    ASSERT_EQ(r.headers.size(), 2u);
    EXPECT_EQ(r.headers[0].first, "Server");
    EXPECT_EQ(r.headers[0].second, "Tarnhollow/1.0");
    EXPECT_EQ(r.headers[1].first, "Date");
    EXPECT_EQ(r.body, "404 Not Found");
}

}  // namespace
}  // namespace tarnhollow::test
