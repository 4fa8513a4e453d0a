// The relay's datagrams byte for byte, and the reassembly of a message from fragments
// in order, shuffled, repeated or malformed.
#include "relay/RelayDatagram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/ScriptedDirectoryHost.h"

namespace tarnhollow::relay {
namespace {

constexpr auto* Fragment = &test::ScriptedDirectoryHost::Datagram;

TEST(RelayDatagramTest, DatagramsAreExactAndShortOnesAreNeitherDecodedNorAssembled) {
    // The header: four little-endian words, the last with the length high and the offset low.
    const DatagramHeader header{.flags = 1, .sequence = 0x01020304, .length = 3000, .offset = 1300};
    const std::string bytes = Fragment(header, "");
    EXPECT_EQ(bytes, std::string("\x01\0\0\0\xFF\xFF\xFF\xFF\x04\x03\x02\x01\x14\x05\xB8\x0B", 16));
    EXPECT_EQ(DecodeHeader(bytes), header);
    EXPECT_FALSE(DecodeHeader(bytes.substr(0, 15)));
    MessageAssembly assembly;
    EXPECT_EQ(assembly.Accept(bytes.substr(0, 15), [] { return 1u; }), MessageAssembly::Step::Ignored);
    EXPECT_FALSE(assembly.Begun());
    EXPECT_EQ(RegistrationDatagram("abc.homeip.net"),
              std::string("\x08\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16) + "abc.homeip.net" + std::string(2, '\0'));
    EXPECT_EQ(RegistrationDatagram(std::string(2000, 'x')).size(), 16 + kMaxNameBytes + 2);
    EXPECT_EQ(Acknowledgement({.flags = 1, .channel = 7, .sequence = 0, .length = 3000, .offset = 2600}),
              std::string("\x05\0\0\0\x07\0\0\0\0\0\0\0\0\0\0\0", 16));
}

TEST(RelayDatagramTest, FragmentsArePlacedByOffsetAndCheckedAsTheyCome) {
    using enum MessageAssembly::Step;
    const std::string a(1300, 'a'), b(1300, 'b'), c(400, 'c');
    // The three fragments of a 3000-byte message on a new channel, and the last one altered.
    const DatagramHeader first{.flags = 1, .length = 3000}, second{.flags = 1, .length = 3000, .offset = 1300},
        third{.flags = 1, .length = 3000, .offset = 2600}, otherLength{.flags = 1, .length = 2999, .offset = 2600},
        pastLength{.flags = 1, .length = 3000, .offset = 2700},
        later{.flags = 1, .sequence = 1, .length = 3000, .offset = 2600},
        otherChannel{.flags = 0, .channel = 9, .length = 3000, .offset = 2600};
    const struct {
        const char* description;
        std::vector<std::pair<DatagramHeader, std::string>> fragments;
        MessageAssembly::Step last;
    } cases[] = {
        {"in order", {{first, a}, {second, b}, {third, c}}, Complete},
        {"shuffled", {{third, c}, {first, a}, {second, b}}, Complete},
        {"one missing", {{first, a}, {third, c}}, Collecting},
        {"a repeat does not fill a hole", {{first, a}, {first, a}, {third, c}}, Collecting},
        {"another length", {{first, a}, {second, b}, {otherLength, c}}, Abandon},
        {"bytes past the length", {{first, a}, {second, b}, {pastLength, c}}, Abandon},
        {"a later sequence", {{first, a}, {second, b}, {later, c}}, Abandon},
        {"another channel", {{first, a}, {second, b}, {otherChannel, c}}, Abandon},
        {"longer than the buffer", {{{.flags = 1, .length = 16385}, a}}, Abandon},
        {"registration acknowledgement", {{first, a}, {{.flags = 0x0C, .channel = 0}, ""}}, Stop},
        {"control", {{{.flags = 0x10}, ""}}, Stop},
        {"close without payload", {{{.flags = 2}, ""}}, Complete},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.description);
        MessageAssembly assembly;
        uint32_t channels = 0;
        MessageAssembly::Step step = Ignored;
        for (const auto& [header, payload] : test.fragments) {
            step = assembly.Accept(Fragment(header, payload), [&] { return ++channels; });
        }
        EXPECT_EQ(step, test.last);
        if (step == Complete && test.fragments[0].first.length == 3000) {
            EXPECT_EQ(assembly.Message(), a + b + c);
            EXPECT_EQ(assembly.Header().channel, channels);
            EXPECT_TRUE(assembly.NeedsAcknowledgement());
        }
    }
}

}  // namespace
}  // namespace tarnhollow::relay
