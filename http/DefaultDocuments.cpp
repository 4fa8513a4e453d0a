// The default-document and default-program lists of the string table, read once, and
// the questions the mapping and the services ask of them.
#include "http/DefaultDocuments.h"

#include <vector>

#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr unsigned kStringDefaultDocuments = 3001;
constexpr unsigned kStringDefaultPrograms = 3002;

// Appends the line-feed separated entries of a string-table list.
void AppendLines(const std::string& text, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Default documents, then default programs, and where the programs begin.
struct DefaultNames {
    std::vector<std::string> wanted;
    size_t documents = 0;
};

// Read from the string table once; it does not change while the program runs.
const DefaultNames& Defaults() {
    static const DefaultNames names = [] {
        DefaultNames n;
        AppendLines(LoadStringBytes(kStringDefaultDocuments), n.wanted);
        n.documents = n.wanted.size();
        AppendLines(LoadStringBytes(kStringDefaultPrograms), n.wanted);
        return n;
    }();
    return names;
}

}  // namespace

std::optional<DefaultFile> FindDefaultFile(const std::string& folder, const std::vector<std::string>& names) {
    const DefaultNames& defaults = Defaults();
    auto file = FindFileIgnoringCase(folder, names, defaults.wanted);
    if (!file) return std::nullopt;
    return DefaultFile{std::move(file->second), file->first >= defaults.documents};
}

bool IsDefaultDocument(std::wstring_view filePath) {
    const size_t slash = filePath.rfind(L'/');
    const std::string name = WideToAnsi(slash == std::wstring_view::npos ? filePath : filePath.substr(slash + 1));
    const DefaultNames& names = Defaults();
    for (size_t i = 0; i < names.documents; ++i) {
        if (EqualsIgnoringAsciiCase(name, names.wanted[i])) return true;
    }
    return false;
}

}  // namespace tarnhollow
