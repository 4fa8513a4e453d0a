// The router: the fixed order in which services are offered a GET, the page-kind rule,
// and the fall-back to a built page or the file's own bytes.
#include "pages/Router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/ResponseWriter.h"
#include "pages/PagesHarness.h"

namespace tarnhollow::test {
namespace {

// A service that answers URLs under its prefix when told to, and notes every offer.
class FakeService : public ServiceHandler {
public:
    FakeService(std::string name, std::vector<std::string>& log, std::wstring prefix = L"/", bool handles = false)
        : name_(std::move(name)), log_(log), prefix_(std::move(prefix)), handles_(handles) {}

    // Reads from the open file before declining, as a service that looked and said no.
    void ReadBeforeDeclining() { reads_ = true; }

    bool Handle(CRequest& request) override {
        log_.push_back(name_);
        if (reads_) {
            char bytes[3];
            ReadSome(request.response->file.Get(), bytes, sizeof bytes);
        }
        if (!handles_ || request.urlPath.rfind(prefix_, 0) != 0) return false;
        EndHeaders(request);
        request.response->buffer.AppendBytes("by " + name_);
        return true;
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    std::wstring prefix_;
    bool handles_;
    bool reads_ = false;
};

TEST(Router, OffersPageFilesToThePageServicesInOrderThenToTheFileServices) {
    PagesHarness pages;
    std::vector<std::string> log;
    FakeService gps("gps", log), remote("remote", log), blog("blog", log), screenshot("screenshot", log);
    pages.PageRouter().AddPageService(&gps);
    pages.PageRouter().AddPageService(&remote);
    pages.PageRouter().AddPageService(&blog);
    pages.PageRouter().AddFileService(&screenshot);
    pages.Root().Write("page.htm", "text");
    EXPECT_EQ(BodyOf(ParseResponse(pages.Get("/page.htm")).body), "text");
    EXPECT_EQ(log, (std::vector<std::string>{"gps", "remote", "blog", "screenshot"}));
}

TEST(Router, TheFirstServiceThatAnswersEndsTheRoutingAndTheFileIsClosed) {
    PagesHarness pages;
    std::vector<std::string> log;
    FakeService gps("gps", log), remote("remote", log, L"/RemoteControl/", true), blog("blog", log);
    FakeService screenshot("screenshot", log);
    pages.PageRouter().AddPageService(&gps);
    pages.PageRouter().AddPageService(&remote);
    pages.PageRouter().AddPageService(&blog);
    pages.PageRouter().AddFileService(&screenshot);
    pages.Root().Write("RemoteControl/index.htm", "keys");
    Exchange exchange(pages.Context(), "/RemoteControl/index.htm");
    Dispatch(exchange.request);
    EXPECT_EQ(log, (std::vector<std::string>{"gps", "remote"}));
    EXPECT_FALSE(exchange.sink.file.IsOpen());
    EXPECT_EQ(ParseResponse(exchange.Sent()).body, "by remote");
}

TEST(Router, OnlyPageKindFilesReachThePageServicesWhileEveryFileReachesTheFileServices) {
    struct Row {
        const char* description;
        const char* path;
        std::vector<std::string> offers;
        const char* body;
    };
    const Row rows[] = {
        {"a picture under the remote control is not offered to it", "/RemoteControl/key.png", {"screenshot"},
         "PNG"},
        {"a page under the screenshot folder is offered to the screenshot", "/ScreenShot/index.htm",
         {"remote", "screenshot"}, "by screenshot"},
        {"page kind ignores letter case", "/RemoteControl/INDEX.HTML", {"remote"}, "by remote"},
        {"a text file is page kind", "/RemoteControl/keys.TXT", {"remote"}, "by remote"},
        {"an extension that only starts like a page is not", "/RemoteControl/x.html5", {"screenshot"}, "PNG"},
    };
    for (const Row& row : rows) {
        PagesHarness pages;
        std::vector<std::string> log;
        FakeService remote("remote", log, L"/RemoteControl/", true);
        FakeService screenshot("screenshot", log, L"/ScreenShot/", true);
        pages.PageRouter().AddPageService(&remote);
        pages.PageRouter().AddFileService(&screenshot);
        pages.Root().Write(row.path + 1, "PNG");
        EXPECT_EQ(ParseResponse(pages.Get(row.path)).body, row.body) << row.description;
        EXPECT_EQ(log, row.offers) << row.description;
    }
}

TEST(Router, OtherFilesAreStreamedWhole) {
    struct Row {
        const char* description;
        std::string content;
    };
    std::string big;
    for (int i = 0; big.size() < 100000; ++i) big += std::to_string(i) + ",";
    const Row rows[] = {
        {"small", "\x89PNG\r\n\x1a\n"},
        {"empty", ""},
        {"larger than the send buffer", big},
    };
    for (const Row& row : rows) {
        PagesHarness pages;
        pages.Root().Write("file.bin", row.content);
        Exchange exchange(pages.Context(), "/file.bin");
        Dispatch(exchange.request);
        Response response = ParseResponse(exchange.Sent());
        EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK") << row.description;
        EXPECT_EQ(response.Header("Content-Length"), std::to_string(row.content.size())) << row.description;
        EXPECT_TRUE(response.HasHeader("Last-Modified")) << row.description;
        EXPECT_EQ(response.body, row.content) << row.description;
    }
}

TEST(Router, AFileAServiceReadAndDeclinedIsStillSentFromItsFirstByte) {
    PagesHarness pages;
    std::vector<std::string> log;
    FakeService screenshot("screenshot", log);
    screenshot.ReadBeforeDeclining();
    pages.PageRouter().AddFileService(&screenshot);
    pages.Root().Write("data.bin", "0123456789");
    EXPECT_EQ(ParseResponse(pages.Get("/data.bin")).body, "0123456789");
}

TEST(Router, WithoutAnOpenFileOrFolderOnlyTheHeadIsEnded) {
    PagesHarness pages;
    Exchange exchange(pages.Context(), "/gone.txt");
    exchange.request.attributes = kAttributeNormal;
    pages.PageRouter().Route(exchange.request);
    EXPECT_EQ(exchange.Sent(), "\r\n");
}

}  // namespace
}  // namespace tarnhollow::test
