// Folder listings: which entries are shown and in what order, how each is named and
// linked, the empty-folder message, and the listing response itself.
#include "pages/FolderListing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pages/PagesHarness.h"

namespace tarnhollow::test {
namespace {

// The listing of the folder `relative` below `root`, asked for as `folderUrl`, rendered
// through the built-in item template so that every byte of it is known. The folder is
// mapped by hand: a GET would redirect a folder holding a default document.
std::string Listing(const TempDir& root, const std::string& folderUrl, const std::string& relative) {
    ServerContext context;
    context.documentRoot = AnsiToWide(root.Path());
    Exchange exchange(context, folderUrl);
    exchange.request.filePath = AnsiToWide(root.Path() + relative);
    exchange.request.attributes = kAttributeFolder;
    return FillFolderItems(exchange.request, kBuiltinItemTemplate, ListingMode::Folder);
}

std::string Listing(const TempDir& root, const std::string& folderUrl) {
    std::string relative = folderUrl.substr(0, folderUrl.size() - 1);
    return Listing(root, folderUrl, relative);
}

std::string Item(const std::string& link, const std::string& name) {
    return "<a href=\"" + link + "\">" + name + "</a><br>";
}

void MakeFolder(const TempDir& root, const std::string& relative) {
    std::filesystem::create_directories(root.Path() + "/" + relative);
}

TEST(FolderListing, TheRootListsItsFoldersInNameOrderWithoutDotEntries) {
    TempDir root;
    MakeFolder(root, "b");
    MakeFolder(root, "B");
    MakeFolder(root, "a");
    root.Write("z.txt", "");
    EXPECT_EQ(Listing(root, "/"), Item("/B", "B") + Item("/a", "a") + Item("/b", "b") + Item("/z.txt", "z"));
}

TEST(FolderListing, ASubfolderWithOnlyADefaultDocumentListsTheParentOnly) {
    TempDir root;
    root.Write("sub/index.html", "");
    EXPECT_EQ(Listing(root, "/sub/"), Item("/sub/..", ".."));
}

TEST(FolderListing, ASubfolderWithFilesStartsWithDotThenDotDotAndDropsExtensions) {
    TempDir root;
    root.Write("sub/notes.txt", "");
    root.Write("sub/photo.jpeg", "");
    root.Write("sub/archive.tar.gz", "");
    root.Write("sub/README", "");
    MakeFolder(root, "sub/inner.d");
    EXPECT_EQ(Listing(root, "/sub/"), Item("/sub/.", ".") + Item("/sub/..", "..") + Item("/sub/inner.d", "inner") +
                                          Item("/sub/README", "README") + Item("/sub/archive.tar.gz", "archive.tar") +
                                          Item("/sub/notes.txt", "notes") + Item("/sub/photo.jpeg", "photo"));
}

TEST(FolderListing, AnEmptySubfolderShowsTheMessageLinkedToItself) {
    TempDir root;
    MakeFolder(root, "empty");
    const std::string message = "<br> - Create Folders for data to be shared in<br> '" + root.Path() +
                                "/empty/'<br> - Populate the folders with files<br>";
    EXPECT_EQ(Listing(root, "/empty/"), Item("/empty/..", "..") + Item("/empty/#", message));
}

TEST(FolderListing, AnEmptyRootShowsTheMessageAlone) {
    TempDir root;
    const std::string message = "<br> - Create Folders for data to be shared in<br> '" + root.Path() +
                                "/'<br> - Populate the folders with files<br>";
    EXPECT_EQ(Listing(root, "/"), Item("/#", message));
}

TEST(FolderListing, DefaultDocumentsAndDotNamesAreLeftOut) {
    struct Row {
        const char* description;
        const char* name;
        bool folder;
    };
    const Row rows[] = {
        {"Index in any case", "INDEX.HTM", false},
        {"index prefix", "indexes.txt", false},
        {"Default folder", "Default Pictures", true},
        {"default prefix", "defaults.cfg", false},
        {"dot file", ".profile", false},
        {"dot folder", ".git", true},
    };
    for (const Row& row : rows) {
        TempDir root;
        root.Write("sub/kept.txt", "");
        if (row.folder) {
            MakeFolder(root, std::string("sub/") + row.name);
        } else {
            root.Write(std::string("sub/") + row.name, "");
        }
        EXPECT_EQ(Listing(root, "/sub/"), Item("/sub/.", ".") + Item("/sub/..", "..") + Item("/sub/kept.txt", "kept"))
            << row.description;
    }
}

TEST(FolderListing, DotNamesAreNotCountedButDefaultDocumentsAre) {
    TempDir root;
    root.Write("hidden/.secret", "");
    root.Write("counted/Default.htm", "");
    EXPECT_NE(Listing(root, "/hidden/").find("Create Folders"), std::string::npos);
    EXPECT_EQ(Listing(root, "/counted/"), Item("/counted/..", ".."));
}

TEST(FolderListing, NamesAreShownAsTextAndLinkedPercentEncoded) {
    struct Row {
        const char* description;
        const char* file;
        const char* link;
        const char* name;
    };
    const Row rows[] = {
        {"space", "my notes.txt", "/sub/my%20notes.txt", "my notes"},
        {"letters above 0x7F by their UTF-8 bytes", "caf\xc3\xa9.txt", "/sub/caf%C3%A9.txt", "caf\xc3\xa9"},
        {"fragment and query characters", "a#1?.txt", "/sub/a%231%3F.txt", "a#1?"},
        {"percent sign", "100%.txt", "/sub/100%25.txt", "100%"},
        {"markup characters", "<b>&\"x'.txt", "/sub/%3Cb%3E%26%22x%27.txt", "&lt;b&gt;&amp;&quot;x&#39;"},
        {"backslash", "a\\b.txt", "/sub/a%5Cb.txt", "a\\b"},
        {"control character", "tab\there.txt", "/sub/tab%09here.txt", "tab\there"},
        {"characters that stay", "a+b=c,(d)~!.txt", "/sub/a+b=c,(d)~!.txt", "a+b=c,(d)~!"},
    };
    for (const Row& row : rows) {
        TempDir root;
        root.Write(std::string("sub/") + row.file, "");
        EXPECT_EQ(Listing(root, "/sub/"), Item("/sub/.", ".") + Item("/sub/..", "..") + Item(row.link, row.name))
            << row.description;
    }
}

TEST(FolderListing, TheFolderUrlIsEncodedLikeTheNames) {
    TempDir root;
    root.Write("my #1 pics/a.png", "");
    EXPECT_EQ(Listing(root, "/my%20%231%20pics/", "/my #1 pics"),
              Item("/my%20%231%20pics/.", ".") + Item("/my%20%231%20pics/..", "..") +
                  Item("/my%20%231%20pics/a.png", "a"));
}

TEST(RenderItems, FillsTheFirstPlaceholderOfEachKindOnly) {
    struct Row {
        const char* description;
        const char* page;
        const char* expected;
    };
    const FolderItems items = {{L"One", L"one.txt"}, {L"Two", L"two.txt"}};
    const Row rows[] = {
        {"two names: the second stays", "[<i>%NAME%/%NAME% %LINK%</i>]",
         "[One/%NAME% /f/one.txtTwo/%NAME% /f/two.txt]"},
        {"link before name", "<i>%LINK%=%NAME%;</i>", "/f/one.txt=One;/f/two.txt=Two;"},
        {"uppercase element", "<I>%NAME%</I>", "OneTwo"},
        {"no placeholders", "<i>x</i>", "xx"},
        {"overlapping placeholders", "<i>%NAME%LINK%</i>", "OneLINK%TwoLINK%"},
        {"only the first element", "<i>%NAME%</i><i>%NAME%</i>", "OneTwo<i>%NAME%</i>"},
        {"no element: unchanged", "%NAME% %LINK%", "%NAME% %LINK%"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RenderItems(row.page, "<i>", L"/f/", items), row.expected) << row.description;
    }
}

TEST(RenderItems, ANameHoldingAPlaceholderIsNotFilledAgain) {
    const FolderItems items = {{L"%LINK%", L"x"}};
    EXPECT_EQ(RenderItems("<i>%NAME% %LINK%</i>", "<i>", L"/", items), "%LINK% /x");
}

TEST(RenderItems, AnEmptyListRemovesTheElement) {
    EXPECT_EQ(RenderItems("a<pictitem>%NAME%</pictitem>b", "<pictitem>", L"/", {}), "ab");
}

TEST(CollectFolderItems, CountsListedEntriesAndDefaultDocumentsAndNeverFillsPictures) {
    TempDir root;
    root.Write("sub/index.htm", "");
    root.Write("sub/a.jpg", "");
    root.Write("sub/.hidden", "");
    MakeFolder(root, "sub/f");
    FolderItems folders, files, pictures = {{L"stale", L"stale"}};
    EXPECT_EQ(CollectFolderItems(AnsiToWide(root.Path() + "/sub/"), L"/sub/", folders, files, pictures), 3u);
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0].linkName, L".");
    EXPECT_EQ(folders[1].linkName, L"..");
    EXPECT_EQ(folders[2].linkName, L"f");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].displayName, L"a");
    EXPECT_TRUE(pictures.empty());
}

TEST(CollectFolderItems, AFolderThatCannotBeReadShowsTheEmptyFolderMessage) {
    TempDir root;
    FolderItems folders, files, pictures;
    EXPECT_EQ(CollectFolderItems(AnsiToWide(root.Path() + "/missing/"), L"/missing/", folders, files, pictures), 0u);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].linkName, L"#");
    EXPECT_NE(files[0].displayName.find(L"Create Folders"), std::wstring::npos);
}

TEST(CollectFolderItems, TheMessageEscapesMarkupInTheFolderPath) {
    TempDir root;
    MakeFolder(root, "<i>");
    FolderItems folders, files, pictures;
    CollectFolderItems(AnsiToWide(root.Path() + "/<i>/"), L"/<i>/", folders, files, pictures);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0].displayName.find(L"/&lt;i&gt;/'"), std::wstring::npos);
}

TEST(ListFolder, AnswersTheDirectoryTemplateFilledWithTheEntries) {
    PagesHarness pages;
    pages.Root().Write("sub/a b.txt", "");
    const std::string raw = pages.Get("/sub/");
    Response response = ParseResponse(raw);
    EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
    std::vector<std::string> names;
    for (const auto& header : response.headers) names.push_back(header.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Server", "Date", "Content-Type", "Last-Modified", "Content-Length"}));
    EXPECT_EQ(response.Header("Content-Type"), "text/html");
    EXPECT_FALSE(response.Header("Last-Modified").empty());
    EXPECT_EQ(response.Header("Content-Length"), std::to_string(response.body.size()));

    const std::string expectedItems[] = {
        "<li class=\"folder\"><a href=\"/sub/.\"><img src=\"/folder.gif\" alt=\"\"><span>.</span></a></li>",
        "<li class=\"folder\"><a href=\"/sub/..\"><img src=\"/folder.gif\" alt=\"\"><span>..</span></a></li>",
        "<li class=\"file\"><a href=\"/sub/a%20b.txt\"><img src=\"/file.gif\" alt=\"\"><span>a b</span></a></li>",
    };
    size_t at = 0;
    for (const std::string& item : expectedItems) {
        const size_t found = response.body.find(item, at);
        ASSERT_NE(found, std::string::npos) << item;
        at = found + item.size();
    }
    for (const char* marker : {"<diritem>", "<fileitem>", "<pictitem>", "%NAME%", "%LINK%"}) {
        EXPECT_EQ(response.body.find(marker), std::string::npos) << marker;
    }
}

TEST(ListFolder, ListsTheMappedFolderNotTheUrlAsWritten) {
    PagesHarness pages;
    pages.Root().Write("sub/x.txt", "");
    pages.Root().Write("top.txt", "");
    const std::string body = ParseResponse(pages.Get("/sub/../")).body;
    EXPECT_EQ(body.find("<span>..</span>"), std::string::npos);
    EXPECT_NE(body.find("href=\"/top.txt\""), std::string::npos);
    EXPECT_NE(body.find("href=\"/sub\""), std::string::npos);

    // A file URL with a tail the mapping ignored lists the file's own folder.
    const std::string page = ParseResponse(pages.Get("/top.txt/extra")).body;
    EXPECT_EQ(page.find("<span>..</span>"), std::string::npos);
    EXPECT_NE(page.find("href=\"/top.txt\""), std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
