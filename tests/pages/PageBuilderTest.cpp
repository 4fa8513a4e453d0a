// The element operations on page text, and BuildPage: body selection, the plain-text
// rule, substitutions with and without an item marker, and the map service key.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "pages/PagesHarness.h"
#include "platform/Settings.h"

namespace tarnhollow::test {
namespace {

TEST(Section, FindsTheFirstElementInEitherFormOnly) {
    struct Row {
        const char* description;
        const char* text;
        bool inclusive;
        const char* expected;
    };
    const Row rows[] = {
        {"lowercase, inclusive", "a<b>x</b>c", true, "<b>x</b>"},
        {"lowercase, exclusive", "a<b>x</b>c", false, "x"},
        {"uppercase", "a<B>x</B>c", true, "<B>x</B>"},
        {"mixed-case marker is not recognised", "a<Body>x</Body>c", true, "a<Body>x</Body>c"},
        {"no closing marker gives the whole text", "a<b>x", false, "a<b>x"},
        {"no opening marker gives the whole text", "ax</b>", true, "ax</b>"},
        {"a closing marker before the opening one is text", "</b>a<b>x</b>", false, "x"},
        {"a closing marker only before the opening one", "</b>a<b>x", true, "</b>a<b>x"},
        {"forms may pair across case", "<b>x</B>", false, "x"},
        {"the earlier form wins", "<B>1</B><b>2</b>", false, "1"},
        {"empty element", "<b></b>", false, ""},
        {"nested markers end at the first closing one", "<b><b>x</b></b>", true, "<b><b>x</b>"},
        {"empty text", "", true, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Section(row.text, "<b>", row.inclusive), row.expected) << row.description;
    }
}

TEST(ReplaceFirst, ReplacesOneElementAtOrAfterStartAndReportsWhereToGoOn) {
    struct Row {
        const char* description;
        const char* text;
        size_t start;
        const char* expected;
        std::optional<size_t> next;
    };
    const Row rows[] = {
        {"first element", "a<v>1</v>b<v>2</v>", 0, "aXYb<v>2</v>", 3},
        {"start skips the first", "a<v>1</v>b<v>2</v>", 2, "a<v>1</v>bXY", 12},
        {"uppercase", "<V></V>", 0, "XY", 2},
        {"none left", "a<v>1</v>", 2, "a<v>1</v>", std::nullopt},
        {"start past the end", "<v></v>", 99, "<v></v>", std::nullopt},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(ReplaceFirst(text, "<v>", "XY", row.start), row.next) << row.description;
        EXPECT_EQ(text, row.expected) << row.description;
    }
}

TEST(ReplaceEvery, ReplacesEachElementOnceAndNeverSearchesItsOwnReplacement) {
    struct Row {
        const char* description;
        const char* text;
        const char* replacement;
        const char* expected;
    };
    const Row rows[] = {
        {"three times, shorter", "<v>long text</v>-<v></v>-<v>x</v>", "a", "a-a-a"},
        {"three times, longer", "<v></v>-<v></v>-<v></v>", "longer than the element", 
         "longer than the element-longer than the element-longer than the element"},
        {"value holding the marker", "<v></v>+<v></v>+<v></v>", "<v>in</v>", "<v>in</v>+<v>in</v>+<v>in</v>"},
        {"both forms, in text order", "<V>1</V><v>2</v><V>3</V>", "-", "---"},
        {"stray closing marker stays", "</v><v>1</v>", "X", "</v>X"},
        {"unclosed element stays", "<v>1</v><v>2", "X", "X<v>2"},
        {"nothing to replace", "plain", "X", "plain"},
        {"empty replacement removes", "a<v>1</v>b", "", "ab"},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        ReplaceEvery(text, "<v>", row.replacement);
        EXPECT_EQ(text, row.expected) << row.description;
    }
}

TEST(BuildPage, ChoosesAndConvertsTheBodyOfEachKindOfFile) {
    struct Row {
        const char* description;
        const char* name;
        const char* content;
        const char* body;
    };
    const Row rows[] = {
        {"plain text: blank line and line end", "one.txt", "one\r\n\r\ntwo\r\nthree", "one<p>two<br>three"},
        {"uppercase BODY element only, unconverted", "upper.htm", "<html><HEAD></HEAD>\r\n<BODY>a\r\n\r\nb</BODY></html>",
         "<BODY>a\r\n\r\nb</BODY>"},
        {"mixed-case Body is not an element: whole text as plain text", "mixed.htm", "x<Body>a\r\nb</Body>",
         "x<Body>a<br>b</Body>"},
        {"html element without body: whole text, unconverted", "html.html", "<html>a\r\n\r\nb</html>",
         "<html>a\r\n\r\nb</html>"},
        {"a file that is one body element is not plain text", "body.htm", "<body>a\r\nb</body>",
         "<body>a\r\nb</body>"},
        {"empty file", "empty.htm", "", ""},
        {"a line feed alone ends a line, a carriage return alone stays", "lone.txt", "a\rb\nc\n\rd",
         "a\rb<br>c<br>\rd"},
        {"lines written on this machine", "lf.txt", "one\n\ntwo\nthree\r\n\nfour", "one<p>two<br>three<p>four"},
        {"an odd line end after a blank line", "odd.txt", "a\r\n\r\n\r\nb", "a<p><br>b"},
    };
    for (const Row& row : rows) {
        PagesHarness pages;
        pages.Root().Write(row.name, row.content);
        Response response = ParseResponse(pages.Get(std::string("/") + row.name));
        EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK") << row.description;
        EXPECT_EQ(response.Header("Content-Type"), "text/html") << row.description;
        EXPECT_EQ(response.Header("Content-Length"), std::to_string(response.body.size())) << row.description;
        EXPECT_TRUE(response.HasHeader("Last-Modified")) << row.description;
        EXPECT_EQ(BodyOf(response.body), row.body) << row.description;
    }
}

TEST(BuildPage, TheHeadIsStatusServerDateTypeLastModifiedLength) {
    PagesHarness pages;
    pages.Root().Write("a.txt", "x");
    Response response = ParseResponse(pages.Get("/a.txt"));
    std::vector<std::string> names;
    for (const auto& header : response.headers) names.push_back(header.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Server", "Date", "Content-Type", "Last-Modified", "Content-Length"}));
}

Substitutions Values(std::optional<std::string> item, std::vector<std::optional<std::string>> markers,
                     std::vector<std::vector<std::wstring>> records) {
    Substitutions s;
    s.itemMarker = std::move(item);
    s.valueMarkers = std::move(markers);
    s.records = std::move(records);
    return s;
}

TEST(BuildPage, SubstitutesValuesWithAndWithoutAnItemMarker) {
    struct Row {
        const char* description;
        const char* content;
        Substitutions substitutions;
        const char* body;
    };
    const Row rows[] = {
        {"one record fills every element, whatever its length", "<v>x</v>,<V></V>,<v>longer element</v>",
         Values(std::nullopt, {"<v>"}, {{L"1<v></v>"}}), "1<v></v>,1<v></v>,1<v></v>"},
        {"only the first record is used without an item marker", "<v></v>",
         Values(std::nullopt, {"<v>"}, {{L"first"}, {L"second"}}), "first"},
        {"no record replaces nothing", "<v>keep</v>", Values(std::nullopt, {"<v>"}, {}), "<v>keep</v>"},
        {"an absent marker is skipped", "<a></a><b></b>", Values(std::nullopt, {std::nullopt, "<b>"}, {{L"1", L"2"}}),
         "<a></a>2"},
        {"values are converted to UTF-8 and not escaped", "<v></v>", Values(std::nullopt, {"<v>"}, {{L"<i>\u00e9</i>"}}),
         "<i>\xc3\xa9</i>"},
        {"records repeat the item template in order", "<ul><it><li><t></t> <x></x></li></it></ul>",
         Values("<it>", {"<t>", "<x>"}, {{L"a", L"1"}, {L"b", L"2"}}), "<ul><li>a 1</li><li>b 2</li></ul>"},
        {"markers beyond a record's values stay as written", "<it><t></t>|<x>hw</x>;</it>",
         Values("<it>", {"<t>", "<x>"}, {{L"a"}, {L"b", L"B"}}), "a|<x>hw</x>;b|B;"},
        {"an empty record list removes the item element", "<ul><it><t></t></it></ul>",
         Values("<it>", {"<t>"}, {}), "<ul></ul>"},
        {"without the item element nothing changes", "<t></t>", Values("<it>", {"<t>"}, {{L"a"}}), "<t></t>"},
        {"without value markers nothing changes", "<it><t></t></it>", Values("<it>", {}, {{L"a"}}),
         "<it><t></t></it>"},
    };
    for (const Row& row : rows) {
        PagesHarness pages;
        pages.Root().Write("page.htm", row.content);
        bool handled = false;
        Response response = ParseResponse(pages.Build("/page.htm", row.substitutions, &handled));
        EXPECT_TRUE(handled) << row.description;
        EXPECT_EQ(BodyOf(response.body), row.body) << row.description;
    }
}

class MapsKey : public ::testing::Test {
protected:
    void SetUp() override { SetSettingsFile(scratch_.Path() + "/settings.toml"); }
    void TearDown() override { SetSettingsFile(std::string()); }

    std::string StoredKey() {
        auto key = OpenSettingsKey();
        return WideToAnsi(ReadString(key.get(), L"GoogleApiKey", nullptr));
    }

    std::string BuildMapPage(PagesHarness& pages, const std::string& target) {
        Substitutions s;
        s.mapsKey = true;
        return BodyOf(ParseResponse(pages.Build(target, s)).body);
    }

    TempDir scratch_;
};

TEST_F(MapsKey, TheFormStandsInForThePageUntilAKeyArrivesThenTheKeyIsStoredAndUsed) {
    PagesHarness pages;
    pages.Root().Write("map.htm", "<body><img src=\"m?key=<maps_api_key></maps_api_key>&amp;z=<MAPS_API_KEY></MAPS_API_KEY>\"></body>");
    const std::string form(FindResource("CONTENT", ".google").value());

    EXPECT_EQ(BuildMapPage(pages, "/map.htm"), form);
    EXPECT_EQ(StoredKey(), "");

    const std::string withKey = "<body><img src=\"m?key=Key-123_x&amp;z=Key-123_x\"></body>";
    EXPECT_EQ(BuildMapPage(pages, "/map.htm?maps_api_key=Key-123_x&save=Save"), withKey);
    EXPECT_EQ(pages.Site().mapKey, L"Key-123_x");
    EXPECT_EQ(StoredKey(), "Key-123_x");

    // Once stored, the key serves every later page, and a new parameter does not change it.
    EXPECT_EQ(BuildMapPage(pages, "/map.htm"), withKey);
    EXPECT_EQ(BuildMapPage(pages, "/map.htm?maps_api_key=Other"), withKey);
    EXPECT_EQ(StoredKey(), "Key-123_x");
}

TEST_F(MapsKey, AKeyThatCouldNotBeOneIsNeitherStoredNorInserted) {
    const std::string form(FindResource("CONTENT", ".google").value());
    const char* keys[] = {
        "%3Cscript%3Ealert(1)%3C%2Fscript%3E",
        "a%22b",
        "with+space",
        "",
    };
    for (const char* key : keys) {
        PagesHarness pages;
        pages.Root().Write("map.htm", "<maps_api_key></maps_api_key>");
        EXPECT_EQ(BuildMapPage(pages, std::string("/map.htm?maps_api_key=") + key), form) << key;
        EXPECT_EQ(pages.Site().mapKey, L"") << key;
        EXPECT_EQ(StoredKey(), "") << key;
    }
    PagesHarness pages;
    pages.Root().Write("map.htm", "<maps_api_key></maps_api_key>");
    EXPECT_EQ(BuildMapPage(pages, "/map.htm?maps_api_key=" + std::string(201, 'k')), form);
    EXPECT_EQ(BuildMapPage(pages, "/map.htm?maps_api_key=" + std::string(200, 'k')), std::string(200, 'k'));
}

TEST_F(MapsKey, APageWithoutTheKeyElementIsLeftAloneAndNothingIsStored) {
    PagesHarness pages;
    pages.Root().Write("plain.htm", "<body>no map</body>");
    EXPECT_EQ(BuildMapPage(pages, "/plain.htm?maps_api_key=abc"), "<body>no map</body>");
    EXPECT_EQ(pages.Site().mapKey, L"");
}

TEST_F(MapsKey, WithoutTheFlagTheElementStays) {
    PagesHarness pages;
    pages.Site().mapKey = L"stored";
    pages.Root().Write("map.htm", "<maps_api_key></maps_api_key>");
    EXPECT_EQ(BodyOf(ParseResponse(pages.Build("/map.htm", Substitutions{})).body), "<maps_api_key></maps_api_key>");
}

TEST(BuildPage, ATextFileLargerThanTheLimitIsStreamedAsItIs) {
    PagesHarness pages;
    const std::string path = pages.Root().Write("huge.txt", "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxPageFileBytes) + 1), 0);
    Exchange exchange(pages.Context(), "/huge.txt");
    Dispatch(exchange.request);
    Response response = ParseResponse(std::string(exchange.sink.buffer.PendingBytes()));
    EXPECT_EQ(response.Header("Content-Length"), std::to_string(kMaxPageFileBytes + 1));
    EXPECT_TRUE(exchange.sink.file.IsOpen());
}

TEST(BuildPage, TheMenuListsTheFolderThatHoldsThePage) {
    PagesHarness pages;
    pages.Root().Write("docs/guide.txt", "hello");
    pages.Root().Write("docs/pics/a.png", "");
    Response response = ParseResponse(pages.Get("/docs/guide.txt"));
    const std::string& page = response.body;
    const std::string names[] = {">.</span>", ">..</span>", ">pics</span>", ">guide</span>"};
    size_t at = 0;
    for (const std::string& name : names) {
        size_t found = page.find(name, at);
        EXPECT_NE(found, std::string::npos) << name;
        at = found == std::string::npos ? at : found;
    }
    EXPECT_NE(page.find("href=\"/docs/pics\""), std::string::npos);
    EXPECT_NE(page.find("href=\"/docs/guide.txt\""), std::string::npos);
    EXPECT_EQ(page.find("<pictitem>"), std::string::npos);
    EXPECT_EQ(page.find("%NAME%"), std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
