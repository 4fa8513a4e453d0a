// Reading and writing the fix file, with the UTF-16 little-endian coding it uses.
#include "gps/FixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>

#include "platform/File.h"

namespace tarnhollow {

namespace {

constexpr size_t kFixFields = 3;
constexpr char32_t kReplacement = U'?';

// Code units to characters; an unpaired surrogate becomes "?", an odd last byte is
// dropped.
std::wstring DecodeUtf16Le(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    auto unit = [&bytes](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char32_t first = unit(i);
        if (first >= 0xD800 && first <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t second = unit(i + 2);
            if (second >= 0xDC00 && second <= 0xDFFF) {
                text += static_cast<wchar_t>(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
                i += 2;
                continue;
            }
        }
        text += static_cast<wchar_t>(first >= 0xD800 && first <= 0xDFFF ? kReplacement : first);
    }
    return text;
}

void AppendUtf16Le(std::string& out, std::wstring_view text) {
    auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (wchar_t c : text) {
        const auto code = static_cast<char32_t>(c);
        if (code >= 0x10000 && code <= 0x10FFFF) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? kReplacement : code);
        }
    }
}

GpsFix ParseLine(std::wstring_view line) {
    GpsFix fix;
    size_t start = 0;
    while (start <= line.size() && fix.texts.size() < kFixFields) {
        size_t comma = line.find(L',', start);
        if (comma == std::wstring_view::npos) comma = line.size();
        if (comma > start) fix.texts.push_back(PlainGpsText(line.substr(start, comma - start)));
        start = comma + 1;
    }
    return fix;
}

}  // namespace

std::vector<GpsFix> ParseFixFile(std::string_view bytes, size_t keepNewest) {
    const std::wstring text = DecodeUtf16Le(bytes);
    std::deque<GpsFix> fixes;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring_view line(text.data() + start, end - start);
        start = end + 1;
        // A file edited elsewhere may end its lines with CR LF.
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        if (line.size() > kMaxFixLineChars) continue;
        GpsFix fix = ParseLine(line);
        if (fix.texts.empty()) continue;
        fixes.push_back(std::move(fix));
        if (fixes.size() > keepNewest) fixes.pop_front();
    }
    return std::vector<GpsFix>(std::make_move_iterator(fixes.begin()), std::make_move_iterator(fixes.end()));
}

std::string FormatFixFile(const std::vector<GpsFix>& fixes) {
    std::string out;
    for (const GpsFix& fix : fixes) {
        for (const std::wstring& field : fix.texts) {
            AppendUtf16Le(out, field);
            AppendUtf16Le(out, L",");
        }
        AppendUtf16Le(out, L"\n");
    }
    return out;
}

std::vector<GpsFix> LoadFixFile(const std::string& path, size_t keepNewest) {
    FileInfo info;
    UniqueFd file = OpenForReading(path, &info);
    if (!file.IsOpen()) return {};
    if (info.size > static_cast<long long>(kMaxFixFileBytes)) {
        // An even offset keeps the code units aligned; the part of a line before the
        // first line break is skipped.
        const long long offset = (info.size - static_cast<long long>(kMaxFixFileBytes)) & ~1LL;
        if (::lseek(file.Get(), offset, SEEK_SET) < 0) return {};
        std::string tail(kMaxFixFileBytes, '\0');
        size_t filled = 0;
        while (filled < tail.size()) {
            const long n = ReadSome(file.Get(), tail.data() + filled, tail.size() - filled);
            if (n <= 0) break;
            filled += static_cast<size_t>(n);
        }
        tail.resize(filled);
        size_t lineStart = 0;
        while (lineStart + 1 < tail.size() && !(tail[lineStart] == '\n' && tail[lineStart + 1] == '\0')) lineStart += 2;
        return ParseFixFile(std::string_view(tail).substr(std::min(lineStart + 2, tail.size())), keepNewest);
    }
    const std::optional<std::string> bytes = ReadWholeFile(file.Get());
    return bytes ? ParseFixFile(*bytes, keepNewest) : std::vector<GpsFix>();
}

bool SaveFixFile(const std::string& path, const std::vector<GpsFix>& fixes) {
    std::error_code ignored;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ignored);
    const std::string temporary = path + ".new";
    UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.IsOpen()) return false;
    bool written = WriteAll(file.Get(), FormatFixFile(fixes));
    written = ::close(file.Release()) == 0 && written;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace tarnhollow
