// Basic credentials, .pass lines and password checks with each hash kind.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "http/BasicCredentials.h"
#include "http/PasswordFile.h"
#include "platform/TextConvert.h"

namespace tarnhollow::test {
namespace {

// Made once with libxcrypt's crypt_gensalt and crypt, as htpasswd -B (and the system's
// yescrypt and SHA-512 crypt) write them.
constexpr char kBcrypt[] = "$2y$05$EejF1hdQDG6rG7xRW/VS0u8KP5vCAd64Q3dDrFuzOn/HyWPPrEWOu";  // bcrypt-pw
constexpr char kYescrypt[] = "$y$j9T$h3cUs/1SJVgFISyOf8.jx.$A/apvY.sGQqlxur9yBePE.VPQ3c2Uw1.vLiA6HNY8y7";  // yescrypt-pw
constexpr char kSha512[] =
    "$6$tfdpSMnqAQpCOPMB$9zIA6Yu4NCkBTn8meriybnZOiVY.X3x9QMudKMDcFssqfUkZfA1W1Km.YBhZbtRI2jbye7o96.knyX0tccr0D1";  // sha512-pw

TEST(BasicCredentials, EveryOddShape) {
    struct Row {
        const wchar_t* header;
        bool valid;
        const char *user, *password;
    };
    const Row rows[] = {
        {L"Basic ZGVtbzpkZW1v", true, "demo", "demo"}, {L"basic   ZGVtbzpkZW1v  ", true, "demo", "demo"},
        {L"Basic YTpiOmM=", true, "a", "b:c"},          // a:b:c, the password keeps its colon
        {L"Basic YTpiOmM", true, "a", "b:c"},           // padding left out
        {L"Basic OnBhc3M=", true, "", "pass"},          // empty user
        {L"Basic dXNlcjo=", true, "user", ""},          // empty password
        {L"Basic dXNlcg==", false, "", ""},             // no colon
        {L"Basic ZGVtbzpkZ\U0000FF80W1v", false, "", ""},  // a high byte inside
        {L"Basic ZGVtbzpkZW1v!", false, "", ""},
        {L"Basic Z", false, "", ""},                    // six bits are not a byte
        {L"Basic ZGVtbzpkAGVtbw==", false, "", ""},     // demo:d\0emo: a NUL would cut it short
        {L"Bearer ZGVtbzpkZW1v", false, "", ""}, {L"BasicZGVtbzpkZW1v", false, "", ""}, {L"Basic", false, "", ""},
        {L"", false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToAnsi(row.header));
        const auto credentials = ParseBasicCredentials(row.header);
        ASSERT_EQ(credentials.has_value(), row.valid);
        if (row.valid) {
            EXPECT_EQ(std::tie(credentials->user, credentials->password), std::tie(row.user, row.password));
        }
    }
}

TEST(PasswordFile, SkipsCommentsAndMalformedLinesAndKeepsTheFirstOfAUser) {
    const std::string text = std::string("# comment\r\n\nalice:") + kBcrypt + "\r\nno colon here\n:" + kSha512 +
                             "\nbob:plaintext\ncarol:$1$md5$hash\ndave:" + kYescrypt + "  \nalice:" + kSha512 +
                             "\neve:$2y$ with space\nfrank:" + kSha512;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& entry : ParsePasswordFile(text)) entries.emplace_back(entry.user, entry.hash);
    EXPECT_EQ(entries, (decltype(entries){{"alice", kBcrypt}, {"dave", kYescrypt}, {"frank", kSha512}}));
}

TEST(PasswordFile, ChecksEachHashKind) {
    struct Row {
        const char* hash;
        const char* password;
        bool right;
    };
    const Row rows[] = {
        {kBcrypt, "bcrypt-pw", true},      {kBcrypt, "bcrypt-PW", false},      {kYescrypt, "yescrypt-pw", true},
        {kYescrypt, "", false},            {kSha512, "sha512-pw", true},       {kSha512, "sha512-pw ", false},
        {"$1$abc$def", "x", false},        {"plain", "plain", false},          {"$6$", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.hash) + " / " + row.password);
        EXPECT_EQ(CheckPassword(row.password, row.hash), row.right);
    }
}

}  // namespace
}  // namespace tarnhollow::test
