// The relay's datagrams byte for byte, and the reassembly of a message from fragments
// in order, shuffled, repeated or malformed.
#include "relay/RelayDatagram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnhollow::relay {
namespace {

std::string Fragment(DatagramHeader header, const std::string& payload) {
    std::string datagram(kHeaderBytes, '\0');
    EncodeHeader(header, datagram.data());
    return datagram + payload;
}

TEST(RelayDatagramTest, HeaderIsFourLittleEndianWordsWithLengthHighAndOffsetLow) {
    const std::string bytes = Fragment({.flags = 0x01, .channel = kNoChannel, .sequence = 0x01020304,
                                        .length = 3000, .offset = 1300},
                                       "");
    EXPECT_EQ(bytes, std::string("\x01\0\0\0\xFF\xFF\xFF\xFF\x04\x03\x02\x01\x14\x05\xB8\x0B", 16));
    EXPECT_EQ(DecodeHeader(bytes),
              (DatagramHeader{.flags = 1, .channel = kNoChannel, .sequence = 0x01020304, .length = 3000, .offset = 1300}));
    EXPECT_FALSE(DecodeHeader(bytes.substr(0, 15)));
}

TEST(RelayDatagramTest, RegistrationAndAcknowledgementAreExact) {
    const std::string registration = RegistrationDatagram("abc.homeip.net");
    EXPECT_EQ(registration, std::string("\x08\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16) + "abc.homeip.net" + std::string(2, '\0'));
    EXPECT_EQ(registration.size(), 32u);
    EXPECT_EQ(RegistrationDatagram(std::string(2000, 'x')).size(), 16 + kMaxNameBytes + 2);
    EXPECT_EQ(Acknowledgement({.flags = 1, .channel = 7, .sequence = 0, .length = 3000, .offset = 2600}),
              std::string("\x05\0\0\0\x07\0\0\0\0\0\0\0\0\0\0\0", 16));
}

struct AssemblyCase {
    const char* description;
    std::vector<DatagramHeader> headers;
    std::vector<std::string> payloads;
    MessageAssembly::Step last;
};

TEST(RelayDatagramTest, FragmentsArePlacedByOffsetAndCheckedAsTheyCome) {
    const std::string a(1300, 'a'), b(1300, 'b'), c(400, 'c');
    const DatagramHeader first{.flags = 1, .channel = kNoChannel, .length = 3000, .offset = 0};
    DatagramHeader second = first, third = first;
    second.offset = 1300;
    third.offset = 2600;
    DatagramHeader otherLength = third, pastLength = third, later = third, otherChannel = third;
    otherLength.length = 2999;
    pastLength.offset = 2700;
    later.sequence = 1;
    otherChannel.flags = 0;
    otherChannel.channel = 9;
    const std::vector<AssemblyCase> cases = {
        {"in order", {first, second, third}, {a, b, c}, MessageAssembly::Step::Complete},
        {"shuffled", {third, first, second}, {c, a, b}, MessageAssembly::Step::Complete},
        {"one missing", {first, third}, {a, c}, MessageAssembly::Step::Collecting},
        {"a repeat does not fill a hole", {first, first, third}, {a, a, c}, MessageAssembly::Step::Collecting},
        {"another length", {first, second, otherLength}, {a, b, c}, MessageAssembly::Step::Abandon},
        {"bytes past the length", {first, second, pastLength}, {a, b, c}, MessageAssembly::Step::Abandon},
        {"a later sequence", {first, second, later}, {a, b, c}, MessageAssembly::Step::Abandon},
        {"another channel", {first, second, otherChannel}, {a, b, c}, MessageAssembly::Step::Abandon},
        {"longer than the buffer", {{.flags = 1, .channel = kNoChannel, .length = 16385}}, {a}, MessageAssembly::Step::Abandon},
        {"registration acknowledgement", {first, {.flags = 0x0C, .channel = 0}}, {a, ""}, MessageAssembly::Step::Stop},
        {"control", {{.flags = 0x10}}, {""}, MessageAssembly::Step::Stop},
        {"close without payload", {{.flags = 2, .channel = kNoChannel}}, {""}, MessageAssembly::Step::Complete},
    };
    for (const AssemblyCase& test : cases) {
        MessageAssembly assembly;
        uint32_t channels = 0;
        MessageAssembly::Step step = MessageAssembly::Step::Ignored;
        for (size_t i = 0; i < test.headers.size(); ++i) {
            step = assembly.Accept(Fragment(test.headers[i], test.payloads[i]), [&] { return ++channels; });
        }
        EXPECT_EQ(step, test.last) << test.description;
        if (step == MessageAssembly::Step::Complete && test.headers[0].length == 3000) {
            EXPECT_EQ(assembly.Message(), a + b + c) << test.description;
            EXPECT_EQ(assembly.Header().channel, channels) << test.description;
            EXPECT_TRUE(assembly.NeedsAcknowledgement()) << test.description;
        }
    }
}

TEST(RelayDatagramTest, ShortDatagramsAreIgnored) {
    MessageAssembly assembly;
    EXPECT_EQ(assembly.Accept(std::string(15, '\x01'), [] { return 1u; }), MessageAssembly::Step::Ignored);
    EXPECT_FALSE(assembly.Begun());
}

}  // namespace
}  // namespace tarnhollow::relay
