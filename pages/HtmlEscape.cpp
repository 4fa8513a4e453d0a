// The HTML escaper of folder listings and blog comments.
#include "pages/HtmlEscape.h"

namespace tarnhollow {

namespace {

const char* HtmlEntity(wchar_t c, QuoteEscaping quotes) {
    switch (c) {
        case L'&': return "&amp;";
        case L'<': return "&lt;";
        case L'>': return "&gt;";
        case L'"': return "&quot;";
        case L'\'': return quotes == QuoteEscaping::Both ? "&#39;" : nullptr;
        default: return nullptr;
    }
}

// One escaper for wide and 8-bit text: the entities are ASCII either way.
template <typename Char>
std::basic_string<Char> Escape(std::basic_string_view<Char> text, QuoteEscaping quotes) {
    std::basic_string<Char> out;
    out.reserve(text.size());
    size_t done = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = HtmlEntity(static_cast<wchar_t>(text[i]), quotes);
        if (!entity) continue;
        out.append(text, done, i - done);
        while (*entity) out += static_cast<Char>(*entity++);
        done = i + 1;
    }
    out.append(text, done, std::basic_string_view<Char>::npos);
    return out;
}

}  // namespace

std::wstring EscapeHtml(std::wstring_view text, QuoteEscaping quotes) { return Escape(text, quotes); }

std::string EscapeHtml(std::string_view text, QuoteEscaping quotes) { return Escape(text, quotes); }

}  // namespace tarnhollow
