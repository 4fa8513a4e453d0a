// Content types: the text rule, the system list, then the built-in table.
#include "http/MimeTypes.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

TEST(MimeTypes, SourcesInOrder) {
    TempDir dir;
    const std::string system = dir.Write("mime.types", "# comment\nimage/jpeg jpeg jpg\ntext/x-thing thing\n");
    struct Row {
        const char* description;
        bool withSystemList;
        std::wstring path;
        std::optional<std::wstring> type;
    };
    const Row rows[] = {
        {"built-in table without a system list", false, L"/r/photo.JPG", L"image/jpg"},
        {"system list first", true, L"/r/photo.JPG", L"image/jpeg"},
        {"text files are html", true, L"/r/readme.txt", L"text/html"},
        {"text rule ignores case", false, L"/r/PAGE.HTM", L"text/html"},
        {"no extension", false, L"/r/Makefile", std::nullopt},
        {"dot only in the folder", false, L"/r/v1.2/README", std::nullopt},
        {"the stored .ez, matches nothing", false, L"/r/archive.ez", std::nullopt},
        {"the system list may know .ez", true, L"/r/thing.thing", L"text/x-thing"},
        {"jpeg row", false, L"/r/a.jpeg", L"image/jpeg"},
        {"gif", false, L"/r/a.gif", L"image/gif"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        SetSystemMimeTypesFile(row.withSystemList ? system : dir.Path() + "/none");
        EXPECT_EQ(ContentTypeFor(row.path), row.type);
    }
    SetSystemMimeTypesFile("/etc/mime.types");
}

}  // namespace
}  // namespace tarnhollow::test
