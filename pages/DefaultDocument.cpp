// Default documents by name, from the string table's list.
#include "pages/DefaultDocument.h"

#include <string>

#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr unsigned kStringDefaultDocuments = 3001;

}  // namespace

bool IsDefaultDocument(std::wstring_view filePath) {
    const size_t slash = filePath.rfind(L'/');
    const std::wstring_view name = slash == std::wstring_view::npos ? filePath : filePath.substr(slash + 1);
    const std::wstring list = LoadString(kStringDefaultDocuments);
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L'\n', start);
        if (end == std::wstring::npos) end = list.size();
        if (end > start && EqualsIgnoringAsciiCase(name, std::wstring_view(list).substr(start, end - start))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace tarnhollow
