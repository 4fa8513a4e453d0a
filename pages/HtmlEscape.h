// Escaping text for HTML, so that names and visitors' comments show as the text they
// are rather than as markup.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow {

// Which quotes are escaped besides "&", "<" and ">".
enum class QuoteEscaping {
    // " and ': the text may stand inside an attribute quoted either way (file names).
    Both,
    // " only: a visitor's comment keeps its apostrophes as typed, as stored blogs
    // always have.
    DoubleOnly,
};

// `text` with "&", "<", ">" and the chosen quotes written as HTML entities.
std::wstring EscapeHtml(std::wstring_view text, QuoteEscaping quotes = QuoteEscaping::Both);
// The same for 8-bit page text, which folder listings insert without converting it.
std::string EscapeHtml(std::string_view text, QuoteEscaping quotes = QuoteEscaping::Both);

}  // namespace tarnhollow
