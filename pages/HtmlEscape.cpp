// The HTML escaper of folder listings and blog comments.
#include "pages/HtmlEscape.h"

namespace tarnhollow {

namespace {

const wchar_t* HtmlEntity(wchar_t c, QuoteEscaping quotes) {
    switch (c) {
        case L'&': return L"&amp;";
        case L'<': return L"&lt;";
        case L'>': return L"&gt;";
        case L'"': return L"&quot;";
        case L'\'': return quotes == QuoteEscaping::Both ? L"&#39;" : nullptr;
        default: return nullptr;
    }
}

}  // namespace

std::wstring EscapeHtml(std::wstring_view text, QuoteEscaping quotes) {
    std::wstring out;
    out.reserve(text.size());
    size_t done = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t* entity = HtmlEntity(text[i], quotes);
        if (!entity) continue;
        out.append(text, done, i - done);
        out += entity;
        done = i + 1;
    }
    out.append(text, done, std::wstring_view::npos);
    return out;
}

}  // namespace tarnhollow
