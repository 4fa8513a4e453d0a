// The account fingerprint over OpenSSL's SHA-256 and random bytes.
#include "ddns/AccountFingerprint.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <random>

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr size_t kSaltBytes = 16;

std::string Hex(const unsigned char* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

std::string Digest(std::string_view saltHex, std::wstring_view user, std::wstring_view password) {
    std::string input(saltHex);
    input += WideToAnsi(user);
    input += '\0';
    input += WideToAnsi(password);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return std::string();
    return Hex(digest.data(), length);
}

}  // namespace

std::wstring MakeAccountFingerprint(std::wstring_view user, std::wstring_view password) {
    std::array<unsigned char, kSaltBytes> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        std::random_device device;
        for (unsigned char& byte : salt) byte = static_cast<unsigned char>(device());
    }
    const std::string saltHex = Hex(salt.data(), salt.size());
    return AnsiToWide(saltHex + ":" + Digest(saltHex, user, password));
}

bool MatchesAccountFingerprint(std::wstring_view fingerprint, std::wstring_view user, std::wstring_view password) {
    const std::string text = WideToAnsi(fingerprint);
    const size_t colon = text.find(':');
    if (colon != kSaltBytes * 2 || text.size() <= colon + 1) return false;
    const std::string digest = Digest(std::string_view(text).substr(0, colon), user, password);
    return !digest.empty() && digest == text.substr(colon + 1);
}

}  // namespace tarnhollow
