// Page building and the element operations on 8-bit page text. Every operation makes
// one pass over its text: a search never goes back over text it has already passed, so
// a page costs time in proportion to its size however many elements it holds.
#include "pages/PageBuilder.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "http/ResponseWriter.h"
#include "pages/FolderListing.h"
#include "platform/Resources.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kFileTemplate[] = ".file.demo";
constexpr char kMapsKeyForm[] = ".google";
constexpr char kMapsKeyMarker[] = "<maps_api_key>";
constexpr wchar_t kMapsKeyParameter[] = L"maps_api_key";
constexpr wchar_t kMapsKeySetting[] = L"GoogleApiKey";

// The two forms a marker matches in, of its opening and of its closing marker.
struct MarkerForms {
    explicit MarkerForms(std::string_view marker)
        : lowerOpen(AsciiLowerCase(marker)),
          upperOpen(AsciiUpperCase(marker)),
          lowerClose(Closing(lowerOpen)),
          upperClose(Closing(upperOpen)) {}

    static std::string Closing(std::string marker) {
        marker.insert(marker.empty() ? 0 : 1, 1, '/');
        return marker;
    }

    std::string lowerOpen;
    std::string upperOpen;
    std::string lowerClose;
    std::string upperClose;
};

bool MatchesAt(std::string_view text, size_t at, std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (text[at + i] != pattern[i]) return false;
    }
    return true;
}

// The first place at or after `from` where either form of a pattern (both of one
// length) stands. Markers begin with "<", so one memchr walk serves both forms.
size_t FindEitherForm(std::string_view text, std::string_view lower, std::string_view upper, size_t from) {
    const size_t n = lower.size();
    if (n == 0 || text.size() < n) return std::string_view::npos;
    const size_t last = text.size() - n;
    const char first = lower[0];
    const char otherFirst = upper[0];
    for (size_t at = from; at <= last; ++at) {
        if (first == otherFirst) {
            const void* hit = std::memchr(text.data() + at, first, last - at + 1);
            if (!hit) return std::string_view::npos;
            at = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        } else if (text[at] != first && text[at] != otherFirst) {
            continue;
        }
        if (MatchesAt(text, at, lower) || MatchesAt(text, at, upper)) return at;
    }
    return std::string_view::npos;
}

// One pattern (in both forms) searched for in a text that does not change, remembering
// where it was last found, so that searches from increasing positions never rescan.
class CachedSearch {
public:
    CachedSearch(std::string_view text, std::string_view lower, std::string_view upper)
        : text_(text), lower_(lower), upper_(upper) {}

    // The first occurrence at or after `from`; `from` must not decrease between calls.
    size_t Find(size_t from) {
        if (found_ != std::string_view::npos && found_ >= from) return found_;
        if (exhausted_) return std::string_view::npos;
        found_ = FindEitherForm(text_, lower_, upper_, from);
        exhausted_ = found_ == std::string_view::npos;
        return found_;
    }

private:
    std::string_view text_;
    std::string_view lower_;
    std::string_view upper_;
    size_t found_ = std::string_view::npos;
    bool exhausted_ = false;
};

// Finds the elements of one marker, left to right: the first opening marker in either
// form, then the first closing marker after it, so a stray closing marker before an
// element is plain text.
class ElementScanner {
public:
    ElementScanner(std::string_view text, const MarkerForms& forms)
        : open_(text, forms.lowerOpen, forms.upperOpen),
          close_(text, forms.lowerClose, forms.upperClose),
          openSize_(forms.lowerOpen.size()),
          closeSize_(forms.lowerClose.size()) {}

    // The first whole element whose opening marker starts at or after `from`; `from`
    // must not decrease between calls.
    std::optional<ElementSpan> Next(size_t from) {
        const size_t open = open_.Find(from);
        if (open == std::string_view::npos) return std::nullopt;
        const size_t close = close_.Find(open + openSize_);
        if (close == std::string_view::npos) return std::nullopt;
        return ElementSpan{open, open + openSize_, close, close + closeSize_};
    }

private:
    CachedSearch open_;
    CachedSearch close_;
    size_t openSize_;
    size_t closeSize_;
};

// Replaces every element in `text`; `scratch` lends its storage to the new text, so
// that repeated calls allocate nothing once it has grown.
void ReplaceEveryElement(std::string& text, const MarkerForms& forms, std::string_view replacement,
                         std::string& scratch) {
    ElementScanner scanner(text, forms);
    auto element = scanner.Next(0);
    if (!element) return;
    scratch.clear();
    size_t done = 0;
    do {
        scratch.append(text, done, element->open - done);
        scratch.append(replacement);
        done = element->end;
        element = scanner.Next(done);
    } while (element);
    scratch.append(text, done, std::string::npos);
    text.swap(scratch);
}

// A key is stored only when it could be one: letters, digits and "-", "_", ".", "~",
// at most as long as the form's field allows. It is inserted into every map page
// unescaped, so anything else a visitor sends could put script into those pages.
constexpr size_t kMaxMapsKeyChars = 200;

bool IsPlausibleMapsKey(std::wstring_view key) {
    if (key.empty() || key.size() > kMaxMapsKeyChars) return false;
    for (wchar_t c : key) {
        const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                             c == L'-' || c == L'_' || c == L'.' || c == L'~';
        if (!allowed) return false;
    }
    return true;
}

void FillMapsKey(CRequest& request, SiteState& site, std::string& body) {
    if (!FindElement(body, kMapsKeyMarker)) return;
    if (site.mapKey.empty()) {
        auto parameter = request.parameters.find(kMapsKeyParameter);
        if (parameter != request.parameters.end() && IsPlausibleMapsKey(parameter->second)) {
            site.mapKey = parameter->second;
            // A failure to store is ignored: the key still serves from memory.
            auto key = OpenSettingsKey();
            WriteString(key.get(), kMapsKeySetting, site.mapKey);
        }
    }
    if (!site.mapKey.empty()) {
        ReplaceEvery(body, kMapsKeyMarker, WideToAnsi(site.mapKey));
        return;
    }
    auto form = FindResource("CONTENT", kMapsKeyForm);
    body = form ? std::string(*form) : std::string();
}

// The value markers of one BuildPage call, prepared once for all records.
class ValueReplacer {
public:
    explicit ValueReplacer(const Substitutions& substitutions) {
        for (const std::optional<std::string>& marker : substitutions.valueMarkers) {
            markers_.push_back(marker ? std::optional<MarkerForms>(MarkerForms(*marker)) : std::nullopt);
        }
    }

    // Value i of the record replaces every element of marker i, for as many values as
    // the record holds.
    void Replace(std::string& text, const std::vector<std::wstring>& record) {
        const size_t count = std::min(markers_.size(), record.size());
        for (size_t i = 0; i < count; ++i) {
            if (markers_[i]) ReplaceEveryElement(text, *markers_[i], WideToAnsi(record[i]), scratch_);
        }
    }

private:
    std::vector<std::optional<MarkerForms>> markers_;
    std::string scratch_;
};

void Substitute(std::string& body, const Substitutions& substitutions) {
    if (substitutions.valueMarkers.empty()) return;
    ValueReplacer replacer(substitutions);
    if (!substitutions.itemMarker) {
        if (!substitutions.records.empty()) replacer.Replace(body, substitutions.records.front());
        return;
    }
    // Without an item element there is nothing to repeat and nothing to replace.
    auto element = FindElement(body, *substitutions.itemMarker);
    if (!element) return;
    const std::string itemTemplate = body.substr(element->contentBegin, element->contentEnd - element->contentBegin);
    std::string items;
    std::string copy;
    for (const std::vector<std::wstring>& record : substitutions.records) {
        copy = itemTemplate;
        replacer.Replace(copy, record);
        items += copy;
    }
    body.replace(element->open, element->end - element->open, items);
}

// The plain-text rule: a file with neither a <body> nor an <html> element is text; each
// blank line becomes "<p>", then each other line end becomes "<br>". A line ends with
// CR LF or with LF alone, as text written on this machine does. One pass does both: at
// each line end the longer pattern (a line end followed at once by another) is tried
// first, which is what replacing every blank line before any line end gives.
void ConvertPlainText(std::string& body) {
    size_t at = body.find('\n');
    if (at == std::string::npos) return;
    std::string out;
    out.reserve(body.size() + body.size() / 8);
    size_t done = 0;
    while (at != std::string::npos) {
        const size_t begin = at > done && body[at - 1] == '\r' ? at - 1 : at;
        const size_t end = at + 1;
        size_t next = end;
        if (next < body.size() && body[next] == '\n') {
            next += 1;
        } else if (next + 1 < body.size() && body[next] == '\r' && body[next + 1] == '\n') {
            next += 2;
        }
        out.append(body, done, begin - done);
        out += next != end ? "<p>" : "<br>";
        done = next;
        at = body.find('\n', done);
    }
    out.append(body, done, std::string::npos);
    body.swap(out);
}

void WritePage(CRequest& request, std::string_view page) {
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(page.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(page);
}

}  // namespace

std::optional<ElementSpan> FindElement(std::string_view text, std::string_view marker, size_t start) {
    if (start > text.size()) return std::nullopt;
    const MarkerForms forms(marker);
    return ElementScanner(text, forms).Next(start);
}

std::string Section(std::string_view text, std::string_view marker, bool inclusive) {
    auto element = FindElement(text, marker);
    if (!element) return std::string(text);
    if (inclusive) return std::string(text.substr(element->open, element->end - element->open));
    return std::string(text.substr(element->contentBegin, element->contentEnd - element->contentBegin));
}

std::optional<size_t> ReplaceFirst(std::string& text, std::string_view marker, std::string_view replacement,
                                   size_t start) {
    auto element = FindElement(text, marker, start);
    if (!element) return std::nullopt;
    text.replace(element->open, element->end - element->open, replacement);
    return element->open + replacement.size();
}

void ReplaceEvery(std::string& text, std::string_view marker, std::string_view replacement) {
    std::string scratch;
    ReplaceEveryElement(text, MarkerForms(marker), replacement, scratch);
}

bool BuildPage(CRequest& request, SiteState& site, const Substitutions& substitutions) {
    auto fileTemplate = FindResource("CONTENT", kFileTemplate);
    if (!fileTemplate || !request.response->file.IsOpen()) return false;
    const int fd = request.response->file.Get();
    auto size = FileSize(fd);
    // Larger files are sent as they are rather than held in memory whole.
    if (!size || *size > static_cast<long long>(kMaxPageFileBytes)) return false;
    auto text = ReadWholeFile(fd);
    if (!text || text->size() > kMaxPageFileBytes) return false;

    std::string body;
    if (auto element = FindElement(*text, "<body>")) {
        body = text->substr(element->open, element->end - element->open);
    } else {
        body = std::move(*text);
        if (!FindElement(body, "<html>")) ConvertPlainText(body);
    }
    text.reset();

    if (fileTemplate->empty()) {
        WritePage(request, body);
        return true;
    }
    Substitute(body, substitutions);
    if (substitutions.mapsKey) FillMapsKey(request, site, body);

    std::string page(*fileTemplate);
    ReplaceFirst(page, "<tarnhollowbody>", body);
    body.clear();
    page = FillFolderItems(request, std::move(page), ListingMode::File);
    WritePage(request, page);
    return true;
}

}  // namespace tarnhollow
