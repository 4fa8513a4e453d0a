// Speed of the pattern matcher on the GPS reader's GGA pattern over a few thousand GGA
// sentences, against the same split done by std::regex and by PCRE2's interpreter.
#include "gps/Pattern.h"
#include "gps/PatternMatch.h"
#include "platform/TextConvert.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

#ifdef TARNHOLLOW_HAVE_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif

namespace {

using tarnhollow::Pattern;
using tarnhollow::PatternError;
using tarnhollow::PatternMatch;

constexpr std::size_t kSentences = 4000;
constexpr std::size_t kGroups = 8;

const wchar_t kGgaPattern[] =
    LR"(\$GPGGA,{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},[^,]*?,{[^,]*?},[^\*]+?\*{\h\h})";
// The same split in the common syntax: capture braces become parentheses and the
// `\h` abbreviation its class.
const char kGgaRegex[] =
    R"(\$GPGGA,([^,]*?),([^,]*?),([^,]*?),([^,]*?),([^,]*?),([^,]*?),[^,]*?,([^,]*?),[^*]+?\*([0-9a-fA-F][0-9a-fA-F]))";

// Sentences as a receiver sends them, with varied fields and correct checksums; the
// same seed every run so that runs compare.
const std::vector<std::wstring>& Sentences() {
    static const std::vector<std::wstring> sentences = [] {
        std::mt19937 random(47);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        std::vector<std::wstring> out;
        char body[160];
        for (std::size_t i = 0; i < kSentences; ++i) {
            std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%02d,%02d%02d.%04d,%c,%03d%02d.%04d,%c,%d,%02d,%d.%d,%d.%d,M,%d.%d,M,,",
                          pick(0, 23), pick(0, 59), pick(0, 59), pick(0, 99), pick(0, 89), pick(0, 59), pick(0, 9999),
                          pick(0, 1) ? 'N' : 'S', pick(0, 179), pick(0, 59), pick(0, 9999), pick(0, 1) ? 'E' : 'W',
                          pick(0, 3), pick(3, 12), pick(0, 9), pick(0, 9), pick(0, 3000), pick(0, 9), pick(0, 60),
                          pick(0, 9));
            unsigned sum = 0;
            for (const char* c = body; *c != '\0'; ++c) sum ^= static_cast<unsigned char>(*c);
            char line[200];
            std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
            out.push_back(tarnhollow::AnsiToWide(line));
        }
        return out;
    }();
    return sentences;
}

std::vector<std::string> NarrowSentences() {
    std::vector<std::string> out;
    for (const std::wstring& sentence : Sentences()) out.push_back(tarnhollow::WideToAnsi(sentence));
    return out;
}

// Our matcher, one result reused across sentences, the eight group texts taken out.
void BM_PatternGgaSplit(benchmark::State& state) {
    Pattern pattern;
    if (pattern.Compile(kGgaPattern) != PatternError::None) {
        state.SkipWithError("GGA pattern does not compile");
        return;
    }
    const auto& sentences = Sentences();
    PatternMatch match;
    std::size_t characters = 0;
    for (auto _ : state) {
        for (const std::wstring& sentence : sentences) {
            if (!pattern.Match(sentence, match)) {
                state.SkipWithError("a sentence did not match");
                return;
            }
            for (std::size_t group = 0; group < kGroups; ++group) characters += GroupText(match, group).size();
        }
    }
    benchmark::DoNotOptimize(characters);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_PatternGgaSplit)->Unit(benchmark::kMicrosecond);

// As the GPS reader does it: a fresh result for every sentence.
void BM_PatternGgaSplitFreshResult(benchmark::State& state) {
    Pattern pattern;
    if (pattern.Compile(kGgaPattern) != PatternError::None) {
        state.SkipWithError("GGA pattern does not compile");
        return;
    }
    const auto& sentences = Sentences();
    std::size_t characters = 0;
    for (auto _ : state) {
        for (const std::wstring& sentence : sentences) {
            PatternMatch match(tarnhollow::kDefaultBacktrackCapacity);
            if (!pattern.Match(sentence, match)) {
                state.SkipWithError("a sentence did not match");
                return;
            }
            for (std::size_t group = 0; group < kGroups; ++group) characters += GroupText(match, group).size();
        }
    }
    benchmark::DoNotOptimize(characters);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_PatternGgaSplitFreshResult)->Unit(benchmark::kMicrosecond);

// The search alone, without taking the group texts out.
void BM_PatternGgaMatchOnly(benchmark::State& state) {
    Pattern pattern;
    if (pattern.Compile(kGgaPattern) != PatternError::None) {
        state.SkipWithError("GGA pattern does not compile");
        return;
    }
    const auto& sentences = Sentences();
    PatternMatch match;
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::wstring& sentence : sentences) found += pattern.Match(sentence, match);
    }
    if (found != state.iterations() * sentences.size()) state.SkipWithError("a sentence did not match");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_PatternGgaMatchOnly)->Unit(benchmark::kMicrosecond);

// std::wregex over the same wide texts, ECMAScript syntax.
void BM_StdRegexGgaSplit(benchmark::State& state) {
    const std::string narrow = kGgaRegex;
    const std::wregex regex(std::wstring(narrow.begin(), narrow.end()));
    const auto& sentences = Sentences();
    std::wsmatch match;
    std::size_t characters = 0;
    for (auto _ : state) {
        for (const std::wstring& sentence : sentences) {
            if (!std::regex_search(sentence, match, regex)) {
                state.SkipWithError("a sentence did not match");
                return;
            }
            for (std::size_t group = 1; group <= kGroups; ++group) characters += match[group].str().size();
        }
    }
    benchmark::DoNotOptimize(characters);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_StdRegexGgaSplit)->Unit(benchmark::kMicrosecond);

#ifdef TARNHOLLOW_HAVE_PCRE2
// PCRE2's interpreter (no JIT) over the same texts as 8-bit strings.
void BM_Pcre2InterpreterGgaSplit(benchmark::State& state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kGgaRegex), PCRE2_ZERO_TERMINATED, 0, &error,
                                     &offset, nullptr);
    if (code == nullptr) {
        state.SkipWithError("PCRE2 could not compile the GGA pattern");
        return;
    }
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    const std::vector<std::string> sentences = NarrowSentences();
    std::size_t characters = 0;
    for (auto _ : state) {
        for (const std::string& sentence : sentences) {
            const int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(sentence.data()), sentence.size(), 0, 0,
                                          data, nullptr);
            if (found <= 0) {
                state.SkipWithError("a sentence did not match");
                break;
            }
            const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
            for (std::size_t group = 1; group <= kGroups; ++group) {
                characters += std::string(sentence, vector[2 * group], vector[2 * group + 1] - vector[2 * group]).size();
            }
        }
    }
    benchmark::DoNotOptimize(characters);
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_Pcre2InterpreterGgaSplit)->Unit(benchmark::kMicrosecond);

void BM_Pcre2InterpreterGgaMatchOnly(benchmark::State& state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kGgaRegex), PCRE2_ZERO_TERMINATED, 0, &error,
                                     &offset, nullptr);
    if (code == nullptr) {
        state.SkipWithError("PCRE2 could not compile the GGA pattern");
        return;
    }
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    const std::vector<std::string> sentences = NarrowSentences();
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::string& sentence : sentences) {
            found += pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(sentence.data()), sentence.size(), 0, 0, data,
                                 nullptr) > 0;
        }
    }
    if (found != state.iterations() * sentences.size()) state.SkipWithError("a sentence did not match");
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sentences.size()));
}
BENCHMARK(BM_Pcre2InterpreterGgaMatchOnly)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

BENCHMARK_MAIN();
