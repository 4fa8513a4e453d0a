// The text-file rule by extension, shared by content types, the file answer and the
// router.
#include "http/TextFiles.h"

#include "platform/TextConvert.h"

namespace tarnhollow {

bool IsTextFileName(std::wstring_view path) {
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    std::wstring_view extension = path.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, L"htm") || EqualsIgnoringAsciiCase(extension, L"html") ||
           EqualsIgnoringAsciiCase(extension, L"txt");
}

bool IsTextFile(const CRequest& request) { return IsTextFileName(request.filePath); }

}  // namespace tarnhollow
