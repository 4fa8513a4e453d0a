// libFuzzer target for the fix file: arbitrary bytes load into at most the kept number
// of fixes of at most three safe, non-empty texts, and what is written from them loads
// back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "gps/FixFile.h"

// Input: one byte for the number of fixes kept, then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnhollow;
    if (size == 0) return 0;
    const size_t keep = data[0];
    const std::vector<GpsFix> fixes = ParseFixFile(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), keep);
    FuzzCheck(fixes.size() <= keep);
    for (const GpsFix& fix : fixes) {
        FuzzCheck(!fix.texts.empty() && fix.texts.size() <= 3);
        for (const std::wstring& text : fix.texts) FuzzCheck(!text.empty() && PlainGpsText(text) == text);
    }
    const std::vector<GpsFix> again = ParseFixFile(FormatFixFile(fixes), keep);
    FuzzCheck(again.size() == fixes.size());
    for (size_t i = 0; i < fixes.size(); ++i) FuzzCheck(again[i].texts == fixes[i].texts);
    return 0;
}
