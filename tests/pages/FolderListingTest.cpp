// Folder listings: which entries are shown and in what order, how each is named and
// linked, the empty-folder message, and the listing response itself.
#include "pages/FolderListing.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "http/PercentEncoding.h"
#include "pages/ListingPage.h"
#include "pages/PagesHarness.h"

namespace tarnhollow::test {
namespace {

// The listing of the folder at `folderUrl`, rendered through the built-in item template
// so that every byte of it is known. The folder is mapped by hand from the decoded URL: a
// GET would redirect a folder holding a default document.
std::string Listing(const TempDir& root, const std::string& folderUrl) {
    ServerContext context;
    context.documentRoot = AnsiToWide(root.Path());
    Exchange exchange(context, folderUrl);
    const std::wstring& path = exchange.request.urlPath;
    exchange.request.filePath = context.documentRoot + path.substr(0, path.size() - 1);
    exchange.request.attributes = kAttributeFolder;
    return FillFolderItems(exchange.request, kBuiltinItemTemplate, ListingMode::Folder);
}

std::string Item(const std::string& link, const std::string& name) {
    return "<a href=\"" + link + "\">" + name + "</a><br>";
}

// "." and "..", with which the listing of the subfolder at `url` starts.
std::string Dots(const std::string& url) { return Item(url + ".", ".") + Item(url + "..", ".."); }

// The empty-folder message of the folder at `url`, linked to the folder itself; "{root}"
// stands for the document root.
std::string EmptyMessage(const std::string& url) {
    return Item(url + "#", "<br> - Create Folders for data to be shared in<br> '{root}" + url +
                               "'<br> - Populate the folders with files<br>");
}

// Makes the empty file `entry` below `root`, or the folder if it ends with "/".
void Make(const TempDir& root, const std::string& entry) {
    if (entry.ends_with('/')) {
        std::filesystem::create_directories(root.Path() + "/" + entry);
    } else {
        root.Write(entry, "");
    }
}

// The shown names of the folders, then of the files, as ". .. f | a".
std::string Names(const FolderItems& folders, const FolderItems& files) {
    std::string names;
    for (const FolderItem& item : folders) names += item.displayName + " ";
    names += "|";
    for (const FolderItem& item : files) names += " " + item.displayName;
    return names;
}

TEST(FolderListing, ListsTheShownEntriesInNameOrderAsTextLinkedPercentEncoded) {
    struct Row {
        const char* description;
        std::vector<std::string> entries;  // a trailing "/" makes a folder
        std::string url;
        std::string expected;
    };
    // The listing of "/sub/" with one entry besides "." and "..".
    const auto sub = [](const std::string& link, const std::string& name) {
        return Dots("/sub/") + Item("/sub/" + link, name);
    };
    const std::string kept = sub("kept.txt", "kept");
    const Row rows[] = {
        {"the root: folders in name order, no dot entries", {"b/", "B/", "a/", "z.txt"}, "/",
         Item("/B", "B") + Item("/a", "a") + Item("/b", "b") + Item("/z.txt", "z")},
        {"only a default document: the parent only", {"sub/index.html"}, "/sub/", Item("/sub/..", "..")},
        {"a default document counts", {"counted/Default.htm"}, "/counted/", Item("/counted/..", "..")},
        {"files: . then .., extensions dropped",
         {"sub/notes.txt", "sub/photo.jpeg", "sub/archive.tar.gz", "sub/README", "sub/inner.d/"}, "/sub/",
         sub("inner.d", "inner") + Item("/sub/README", "README") + Item("/sub/archive.tar.gz", "archive.tar") +
             Item("/sub/notes.txt", "notes") + Item("/sub/photo.jpeg", "photo")},
        {"an empty subfolder: the message linked to itself", {"empty/"}, "/empty/",
         Item("/empty/..", "..") + EmptyMessage("/empty/")},
        {"an empty root: the message alone", {}, "/", EmptyMessage("/")},
        {"a dot name does not count", {"hidden/.secret"}, "/hidden/",
         Item("/hidden/..", "..") + EmptyMessage("/hidden/")},
        {"Index in any case left out", {"sub/kept.txt", "sub/INDEX.HTM"}, "/sub/", kept},
        {"index prefix left out", {"sub/kept.txt", "sub/indexes.txt"}, "/sub/", kept},
        {"Default folder left out", {"sub/kept.txt", "sub/Default Pictures/"}, "/sub/", kept},
        {"default prefix left out", {"sub/kept.txt", "sub/defaults.cfg"}, "/sub/", kept},
        {"dot file left out", {"sub/kept.txt", "sub/.profile"}, "/sub/", kept},
        {"dot folder left out", {"sub/kept.txt", "sub/.git/"}, "/sub/", kept},
        {"space", {"sub/my notes.txt"}, "/sub/", sub("my%20notes.txt", "my notes")},
        {"letters above 0x7F by their UTF-8 bytes", {"sub/caf\xc3\xa9.txt"}, "/sub/",
         sub("caf%C3%A9.txt", "caf\xc3\xa9")},
        {"fragment and query characters", {"sub/a#1?.txt"}, "/sub/", sub("a%231%3F.txt", "a#1?")},
        {"percent sign", {"sub/100%.txt"}, "/sub/", sub("100%25.txt", "100%")},
        {"markup characters", {"sub/<b>&\"x'.txt"}, "/sub/",
         sub("%3Cb%3E%26%22x%27.txt", "&lt;b&gt;&amp;&quot;x&#39;")},
        {"backslash", {"sub/a\\b.txt"}, "/sub/", sub("a%5Cb.txt", "a\\b")},
        {"control character", {"sub/tab\there.txt"}, "/sub/", sub("tab%09here.txt", "tab\there")},
        {"characters that stay", {"sub/a+b=c,(d)~!.txt"}, "/sub/", sub("a+b=c,(d)~!.txt", "a+b=c,(d)~!")},
        {"the folder URL is encoded like the names", {"my #1 pics/a.png"}, "/my%20%231%20pics/",
         Dots("/my%20%231%20pics/") + Item("/my%20%231%20pics/a.png", "a")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir root;
        for (const std::string& entry : row.entries) Make(root, entry);
        std::string expected = row.expected;
        if (const size_t at = expected.find("{root}"); at != std::string::npos) expected.replace(at, 6, root.Path());
        EXPECT_EQ(Listing(root, row.url), expected);
    }
}

TEST(RenderItems, FillsTheFirstPlaceholderOfEachKindInTheFirstElementOnly) {
    struct Row {
        const char* description;
        const char* page;
        FolderItems items;
        std::string expected;
        const char* element = "<i>";
        const wchar_t* prefix = L"/f/";
    };
    const FolderItems named = {{"One", "one.txt"}, {"Two", "two.txt"}};
    const FolderItem picture{"a", "a%20b.jpg", "a b.jpg", 1288490, 0, 0, ItemKind::Picture};
    const FolderItem folder{"sub", "sub", "sub", -1, 0, 0, ItemKind::Folder};
    FolderItem file{"n", "n.txt", "n.txt", 0, 0, 0, ItemKind::File};
    const FolderItems all = {picture, folder, file};
    // The date is the local time of the last write.
    const std::time_t when = 1765202580;
    std::tm local{};
    ::localtime_r(&when, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    file.modified = when;
    const Row rows[] = {
        {"two names: the second stays", "[<i>%NAME%/%NAME% %LINK%</i>]", named,
         "[One/%NAME% /f/one.txtTwo/%NAME% /f/two.txt]"},
        {"link before name", "<i>%LINK%=%NAME%;</i>", named, "/f/one.txt=One;/f/two.txt=Two;"},
        {"uppercase element", "<I>%NAME%</I>", named, "OneTwo"},
        {"no placeholders", "<i>x</i>", named, "xx"},
        {"overlapping placeholders", "<i>%NAME%LINK%</i>", named, "OneLINK%TwoLINK%"},
        {"only the first element", "<i>%NAME%</i><i>%NAME%</i>", named, "OneTwo<i>%NAME%</i>"},
        {"no element: unchanged", "%NAME% %LINK%", named, "%NAME% %LINK%"},
        {"a name holding a placeholder is not filled again", "<i>%NAME% %LINK%</i>", {{"%LINK%", "x"}}, "%LINK% /x",
         "<i>", L"/"},
        {"an empty list removes the element", "a<pictitem>%NAME%</pictitem>b", {}, "ab", "<pictitem>", L"/"},
        {"whole name and sizes", "<i>%FILE%|%SIZE%|%BYTES%;</i>", all, "a b.jpg|1.2 MB|1288490;sub||;n.txt|0 B|0;"},
        {"icons", "<i>%ICON% </i>", all, "/f/a%20b.jpg?thumb /folder.gif /file.gif "},
        {"no date when unknown", "<i>[%DATE%]</i>", all, "[][][]"},
        {"the first of each only", "<i>%SIZE%%SIZE%</i>", all, "1.2 MB%SIZE%%SIZE%0 B%SIZE%"},
        {"the date of the last write", "<i>%DATE%</i>", {file}, date, "<i>", L"/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RenderItems(row.page, row.element, row.prefix, row.items), row.expected) << row.description;
    }
}

TEST(CollectFolderItems, CountsListedEntriesAndDefaultDocumentsAndNeverFillsPictures) {
    TempDir root;
    for (const char* entry : {"sub/index.htm", "sub/a.jpg", "sub/.hidden", "sub/f/"}) Make(root, entry);
    FolderItems folders, files, pictures = {{"stale", "stale"}};
    EXPECT_EQ(CollectFolderItems(root.Path() + "/sub/", L"/sub/", folders, files, pictures), 3u);
    EXPECT_EQ(Names(folders, files), ". .. f | a");
    EXPECT_TRUE(pictures.empty());
}

TEST(CollectFolderItems, AFolderThatCannotBeReadShowsTheEmptyFolderMessageEscaped) {
    TempDir root;
    FolderItems folders, files, pictures;
    EXPECT_EQ(CollectFolderItems(root.Path() + "/<i>/", L"/<i>/", folders, files, pictures), 0u);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].linkName, "#");
    EXPECT_NE(files[0].displayName.find("Create Folders"), std::string::npos);
    EXPECT_NE(files[0].displayName.find("/&lt;i&gt;/'"), std::string::npos);
}

TEST(FormatSize, OneDecimalBelowTenUnitsInStepsOf1024) {
    const std::pair<long long, const char*> rows[] = {
        {-1, ""}, {0, "0 B"}, {1023, "1023 B"}, {1024, "1.0 KB"}, {1300, "1.3 KB"}, {10 * 1024, "10 KB"},
        {1048575, "1.0 MB"}, {1288490, "1.2 MB"}, {5LL << 30, "5.0 GB"}, {123LL << 40, "123 TB"},
    };
    for (const auto& [bytes, text] : rows) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

TEST(CollectFolderItems, SortsEachListByTheKeyWithEqualKeysByName) {
    TempDir root;
    root.Write("sub/b.txt", "12345");
    root.Write("sub/a.txt", "123");
    root.Write("sub/c.txt", "123");
    root.Write("sub/d.txt", "1");
    Make(root, "sub/y/");
    Make(root, "sub/x/");
    const std::pair<std::string, std::time_t> times[] = {{"b.txt", 100}, {"a.txt", 300}, {"c.txt", 200},
                                                        {"d.txt", 300}, {"y", 50},      {"x", 60}};
    for (const auto& [name, time] : times) {
        const timespec both[2] = {{time, 0}, {time, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (root.Path() + "/sub/" + name).c_str(), both, 0), 0);
    }
    struct Row {
        const char* description;
        ListingOrder order;
        const char* expected;
    };
    const Row rows[] = {
        {"name ascending", {SortKey::Name, false}, ".. x y | a b c d"},
        {"name descending", {SortKey::Name, true}, ".. y x | d c b a"},
        {"size ascending, equal sizes by name", {SortKey::Size, false}, ".. x y | d a c b"},
        {"size descending, equal sizes still by name", {SortKey::Size, true}, ".. x y | b a c d"},
        {"date ascending", {SortKey::Date, false}, ".. y x | b c a d"},
        {"date descending", {SortKey::Date, true}, ".. x y | a d c b"},
    };
    for (const Row& row : rows) {
        FolderItems folders, files, pictures;
        CollectFolderItems(root.Path() + "/sub/", L"/sub/", folders, files, pictures, {row.order, false});
        EXPECT_EQ(Names(folders, files), row.expected) << row.description;
    }
}

TEST(CollectFolderItems, NameOrderIsByteOrderWhereNamesShareLongPrefixes) {
    // Names that agree for their first eight bytes after the shared prefix, names that
    // are prefixes of others, and bytes above 0x7F, which sort after ASCII.
    const std::vector<std::string> names = {"report-2026-12-08-b.txt", "report-2026-12-08-a.txt", "report-2026-12",
                                            "report-2026-12-08",       "report-\xc3\xa9t\xc3\xa9.txt", "report-2026-12-08-a",
                                            "report-2025.txt",         "report-"};
    TempDir root;
    for (const std::string& name : names) root.Write("sub/" + name, "");
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    for (const bool descending : {false, true}) {
        FolderItems folders, files, pictures;
        CollectFolderItems(root.Path() + "/sub/", L"/sub/", folders, files, pictures, {{SortKey::Name, descending}});
        std::vector<std::string> listed;
        for (const FolderItem& item : files) listed.push_back(item.linkName);
        if (descending) std::reverse(listed.begin(), listed.end());
        std::vector<std::string> encoded;
        for (const std::string& name : expected) {
            encoded.emplace_back();
            AppendPercentEncoded(encoded.back(), name, PercentSet::Link);
        }
        EXPECT_EQ(listed, encoded) << (descending ? "descending" : "ascending");
    }
}

TEST(CollectFolderItems, NamesReadAlreadyAreNotReadAgain) {
    TempDir root;
    root.Write("sub/a.txt", "1");
    root.Write("sub/b.txt", "22");
    const std::vector<std::string> names = {"b.txt", "gone.txt", ".hidden", "index.html"};
    FolderItems folders, files, pictures;
    // Entries that vanished since are listed without size or date; default documents
    // are counted, hidden names are not.
    EXPECT_EQ(CollectFolderItems(root.Path() + "/sub/", L"/sub/", folders, files, pictures, {}, &names), 3u);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].fileName, "b.txt");
    EXPECT_EQ(files[0].bytes, 2);
    EXPECT_EQ(files[1].fileName, "gone.txt");
    EXPECT_EQ(files[1].bytes, -1);
}

TEST(FillFolderItems, ALinkShowsSizeAndDateOnlyWhereAVisitorCouldFollowIt) {
    TempDir root, outside;
    root.Write("sub/a.txt", "123");
    root.Write("sub/.hidden/h.txt", "12345");
    outside.Write("o.txt", "1234567");
    const std::string sub = root.Path() + "/sub/";
    ASSERT_EQ(::symlink("a.txt", (sub + "in").c_str()), 0);
    ASSERT_EQ(::symlink(".hidden/h.txt", (sub + "hidden").c_str()), 0);
    ASSERT_EQ(::symlink((outside.Path() + "/o.txt").c_str(), (sub + "out").c_str()), 0);
    ServerContext context;
    context.documentRoot = AnsiToWide(root.Path());
    Exchange exchange(context, "/sub/");
    exchange.request.filePath = AnsiToWide(root.Path() + "/sub");
    exchange.request.attributes = kAttributeFolder;
    EXPECT_EQ(FillFolderItems(exchange.request, "<fileitem>%FILE%=%BYTES%;</fileitem>", ListingMode::Folder),
              "a.txt=3;hidden=;in=3;out=;");
}

TEST(ParseListingOrder, KnownValuesOnlyAndTheDefaultOtherwise) {
    struct Row {
        const char* query;
        SortKey key;
        bool descending;
    };
    const Row rows[] = {
        {"", SortKey::Name, false},
        {"?sort=size", SortKey::Size, false},
        {"?sort=date&order=desc", SortKey::Date, true},
        {"?order=desc", SortKey::Name, true},
        {"?sort=SIZE&order=DESC", SortKey::Name, false},
        {"?sort=%00size&order=descending", SortKey::Name, false},
    };
    ServerContext context;
    for (const Row& row : rows) {
        Exchange exchange(context, std::string("/") + row.query);
        const ListingOrder order = ParseListingOrder(exchange.request);
        EXPECT_EQ(order.key, row.key) << row.query;
        EXPECT_EQ(order.descending, row.descending) << row.query;
    }
}

TEST(ListFolder, NamesTheFolderWithBreadcrumbsAndSortLinks) {
    PagesHarness pages;
    pages.Root().Write("a/b&c/d/x.txt", "");
    const std::string body = ParseResponse(pages.Get("/a/b%26c/d/?sort=size")).body;
    EXPECT_NE(body.find("<title>/a/b&amp;c/d/ - Tarnhollow</title>"), std::string::npos) << body;
    EXPECT_NE(body.find("<h1 class=\"breadcrumbs\"><a href=\"/\">/</a><a href=\"/a/\">a/</a><a "
                        "href=\"/a/b%26c/\">b&amp;c/</a>d/</h1>"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find("href=\"?sort=name&amp;order=asc\">Name</a>"), std::string::npos) << body;
    EXPECT_NE(body.find("href=\"?sort=size&amp;order=desc\">Size \xe2\x96\xb2</a>"), std::string::npos) << body;
}

TEST(ListFolder, AnswersTheDirectoryTemplateFilledWithTheEntries) {
    PagesHarness pages;
    pages.Root().Write("sub/a b.txt", "");
    const Response response = ParseResponse(pages.Get("/sub/"));
    std::vector<std::string> names;
    for (const auto& header : response.headers) names.push_back(header.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Server", "Date", "Content-Type", "Last-Modified", "Content-Length"}));
    EXPECT_FALSE(response.Header("Last-Modified").empty());

    // The built-in template leaves "." out; the whole name, size and date are columns.
    EXPECT_EQ(response.body.find("href=\"/sub/.\""), std::string::npos);
    const std::string expectedItems[] = {
        "<li><a href=\"/sub/..\"><img src=\"/folder.gif\" alt=\"\"><span>..</span><small></small><time></time></a></li>",
        "<li><a href=\"/sub/a%20b.txt\"><img src=\"/file.gif\" alt=\"\" loading=\"lazy\"><span>a b.txt</span><small>0 "
        "B</small><time>",
    };
    size_t at = 0;
    for (const std::string& item : expectedItems) {
        const size_t found = response.body.find(item, at);
        ASSERT_NE(found, std::string::npos) << item;
        at = found + item.size();
    }
    for (const char* marker : {"<diritem>", "<fileitem>", "<pictitem>", "%NAME%", "%LINK%", "%FILE%", "%SIZE%", "%DATE%",
                               "%ICON%", "%FOLDER%", "%BREADCRUMBS%", "%SORTNAME%", "%ARROWNAME%"}) {
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
