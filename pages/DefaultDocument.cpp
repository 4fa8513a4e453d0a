// Default documents by name, from the string table's list.
#include "pages/DefaultDocument.h"

#include "http/StaticFiles.h"

namespace tarnhollow {

bool IsDefaultDocument(std::wstring_view filePath) {
    const size_t slash = filePath.rfind(L'/');
    return IsDefaultDocumentName(slash == std::wstring_view::npos ? filePath : filePath.substr(slash + 1));
}

}  // namespace tarnhollow
