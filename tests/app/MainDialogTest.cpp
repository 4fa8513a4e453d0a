// The main dialog's controller: starting, restarting and stopping the server, the demo
// version it records, start errors, the status line, posted commands, and connections
// adopted over any transport, and the dynamic DNS account and update behind the status line.
#include "app/MainDialog.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>
#include <thread>
#include <toml++/toml.h>

#include "ddns/FakeUpdateServer.h"
#include "ddns/ProviderDomains.h"
#include "http/Transport.h"
#include "net/Addresses.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

class RecordingView : public View {
public:
    void ShowStatusText(const std::wstring& text) override { statusLines.push_back(text); }
    void ShowError(const std::wstring& message) override { errors.push_back(message); }
    void ShowNotice(const std::wstring& message) override { notices.push_back(message); }
    void ShowFields(const DialogFields& fields, const std::vector<std::wstring>&) override { shownFields.push_back(fields); }
    void OpenInBrowser(const std::wstring& url) override { opened.push_back(url); }
    std::vector<DialogFields> shownFields;
    std::vector<std::wstring> opened;
    std::vector<std::wstring> statusLines;
    std::vector<std::wstring> notices;
    std::vector<std::wstring> errors;
};

// Holds a port so that the server cannot listen on it.
struct BusyPort {
    BusyPort() : port(FreePort()) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 1);
    }
    ~BusyPort() { ::close(fd); }
    int port;
    int fd;
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsFile(scratch.Path() + "/settings.toml");
        dialog = std::make_unique<CMainDialog>(io, view, AnsiToWide(root.Path()));
    }
    int64_t StoredCreateDemo() {
        return toml::parse_file(SettingsFile())["CreateDemo"].value<int64_t>().value_or(-1);
    }
    void StoreCreateDemo(uint32_t value) {
        auto key = OpenSettingsKey();
        WriteDword(key.get(), L"CreateDemo", value);
    }

    TempDir root, scratch;
    asio::io_context io;
    RecordingView view;
    std::unique_ptr<CMainDialog> dialog;
};

TEST_F(MainDialogTest, StartingTwiceOnOnePortNeitherRestartsNorTouchesTheDemoVersion) {
    const uint32_t port = static_cast<uint32_t>(FreePort());
    EXPECT_FALSE(dialog->StartOrStop(port));
    EXPECT_TRUE(dialog->ServerRunning());
    EXPECT_EQ(StoredCreateDemo(), 0x0301022F);
    StoreCreateDemo(7);
    EXPECT_FALSE(dialog->StartOrStop(port));
    EXPECT_EQ(StoredCreateDemo(), 7);
    EXPECT_EQ(dialog->RunningPort(), port);
}

TEST_F(MainDialogTest, PortInUseShowsItsMessageAndLeavesTheServerStopped) {
    BusyPort busy;
    EXPECT_TRUE(dialog->StartOrStop(static_cast<uint32_t>(busy.port)));
    EXPECT_FALSE(dialog->ServerRunning());
    EXPECT_EQ(dialog->RunningPort(), 0u);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], L"Port " + std::to_wstring(busy.port) + L" is already in use!");
    // The demo version is recorded even when the start failed.
    EXPECT_EQ(StoredCreateDemo(), 0x0301022F);
}

TEST_F(MainDialogTest, AfterAFailedRestartThePreviousPortStartsAgain) {
    const uint32_t first = static_cast<uint32_t>(FreePort());
    EXPECT_FALSE(dialog->StartOrStop(first));
    BusyPort busy;
    EXPECT_TRUE(dialog->StartOrStop(static_cast<uint32_t>(busy.port)));
    EXPECT_FALSE(dialog->ServerRunning());
    EXPECT_FALSE(dialog->StartOrStop(first));
    EXPECT_TRUE(dialog->ServerRunning());
    EXPECT_TRUE(dialog->Server().IsListening());
}

TEST_F(MainDialogTest, PortZeroStopsAndAPortAboveTheRangeCannotListen) {
    EXPECT_FALSE(dialog->StartOrStop(static_cast<uint32_t>(FreePort())));
    EXPECT_FALSE(dialog->StartOrStop(0));
    EXPECT_FALSE(dialog->ServerRunning());
    EXPECT_FALSE(dialog->Server().IsListening());
    EXPECT_TRUE(dialog->StartOrStop(70000));
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0].rfind(L"Can't listen on port 70000!", 0), 0u);
}

TEST_F(MainDialogTest, StatusLineShowsTheLastBlogPostWhenNothingElseChanged) {
    dialog->Save({.port = 8080, .enable = false});
    EXPECT_EQ(dialog->RefreshStatus(), L"");
    ASSERT_FALSE(view.statusLines.empty());
    EXPECT_EQ(view.statusLines.back(), L"The Server is stopped");
    dialog->Server().StartServer(static_cast<uint32_t>(FreePort()), false);
    dialog->Server().Site().lastBlogPostPath = L"/Blog/MyFirstBlog.txt";
    const std::wstring expected = L"http://localhost:" + std::to_wstring(dialog->Server().Port()) +
                                  L"/Blog/MyFirstBlog.txt Last blog post,(Enter/DblClick to open)";
    dialog->RefreshStatus();
    EXPECT_EQ(view.statusLines.back(), expected);
    EXPECT_EQ(dialog->OpenUrl(), L"http://localhost:" + std::to_wstring(dialog->Server().Port()) +
                                     L"/Blog/MyFirstBlog.txt");
    // A new status line forgets the last post.
    dialog->ShowStatus(L"example:8080", L"changed");
    EXPECT_EQ(view.statusLines.back(), L"http://example:8080 changed");
    EXPECT_EQ(dialog->Server().LastBlogPostUrl(), L"");
}

TEST_F(MainDialogTest, ASaveCommandFromAnotherThreadRunsOnTheServerThread) {
    const uint32_t port = static_cast<uint32_t>(FreePort());
    std::thread viewThread([&] { dialog->PostSave({.port = port, .enable = true}); });
    viewThread.join();
    EXPECT_FALSE(dialog->ServerRunning()) << "nothing changes before the server thread runs the command";
    io.poll();
    EXPECT_TRUE(dialog->ServerRunning());
    EXPECT_EQ(dialog->Fields().port, port);
}

// A transport of another kind than TCP (a relayed request, say) is adopted like an
// accepted socket and answered through the same connection logic.
class ScriptedTransport : public Transport {
public:
    explicit ScriptedTransport(std::string request, std::string& sent) : request_(std::move(request)), sent_(sent) {}
    void Attach(TransportEvents* events) override { events_ = events; }
    long Receive(char* buffer, size_t size) override {
        const size_t n = std::min(size, request_.size());
        request_.copy(buffer, n);
        request_.erase(0, n);
        return static_cast<long>(n);
    }
    long Send(const char* bytes, size_t size) override {
        sent_.append(bytes, size);
        return static_cast<long>(size);
    }
    void WantRead() override {}
    void WantWrite() override {
        asio::post(*io, [this] { events_->OnSend(); });
    }
    void ShutDown() override {}
    std::wstring PeerAddress() const override { return L""; }
    asio::io_context* io = nullptr;

private:
    std::string request_;
    std::string& sent_;
    TransportEvents* events_ = nullptr;
};

TEST_F(MainDialogTest, UncheckingEnableSaysStoppedAtOnceAndTheServerStopsOnlyOnSave) {
    const uint32_t port = static_cast<uint32_t>(FreePort());
    ASSERT_TRUE(dialog->LoadAndStart(port));
    ASSERT_EQ(view.shownFields.size(), 1u);
    EXPECT_EQ(view.shownFields.back().port, port);
    DialogFields fields = dialog->Fields();
    fields.enable = false;
    dialog->EnableClicked(fields);
    EXPECT_EQ(view.statusLines.back(), L"The Server is stopped");
    EXPECT_TRUE(dialog->ServerRunning());
    dialog->Save(fields);
    EXPECT_FALSE(dialog->ServerRunning());
    EXPECT_FALSE(view.shownFields.back().enable);
}

TEST_F(MainDialogTest, RegisterWithoutAPluginOpensTheSignUpPage) {
    dialog->Register();
    EXPECT_EQ(view.opened, std::vector<std::wstring>{kSignUpUrl});
}

TEST_F(MainDialogTest, TheServerAdoptsAConnectionOverAnyTransport) {
    root.Write("a.bin", "relayed");
    std::string sent;
    auto transport = std::make_unique<ScriptedTransport>("GET /a.bin HTTP/1.0\r\n\r\n", sent);
    transport->io = &io;
    dialog->Server().AdoptConnection(std::move(transport));
    io.poll();
    EXPECT_EQ(ParseResponse(sent).body, "relayed");
}

TEST_F(MainDialogTest, TheStatusLineTurnsToTheRegisteredNameWithinOneRefreshAndStaysWithoutRequests) {
    const std::wstring adapter = AnsiToWide(SelectAdapterAddress());
    if (adapter.empty()) GTEST_SKIP() << "this machine has no address but loopback";
    FakeUpdateServer server([](const FakeUpdateServer::Request&) { return FakeUpdateServer::Answer{200, "good"}; });
    {
        auto key = OpenSettingsKey();
        WriteString(key.get(), L"DNS_UpdateHost", AnsiToWide(server.Host()));
        // Resolves to loopback, which is never registered: the adapter address is.
        WriteString(key.get(), L"ServiceHost", L"localhost");
        WriteString(key.get(), L"Name", L"myhost");
        WriteString(key.get(), L"User", L"me");
        WriteString(key.get(), L"Pass", L"secret");
        WriteString(key.get(), L"Domain", L"HOMEIP.net");
    }
    const uint32_t port = static_cast<uint32_t>(FreePort());
    ASSERT_TRUE(dialog->LoadAndStart(port));
    EXPECT_EQ(dialog->Domains().entries.size(), 89u);
    EXPECT_EQ(dialog->Domains().entries[static_cast<size_t>(dialog->Domains().selected)], L"homeip.net");
    ASSERT_FALSE(view.statusLines.empty());
    EXPECT_EQ(view.statusLines[0], L"http://" + adapter + L":" + std::to_wstring(port) + L" ");
    while (view.statusLines.back() != L"http://myhost.homeip.net ") io.run_one_for(std::chrono::seconds(60));
    ASSERT_EQ(server.Count(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/nic/update?hostname=myhost.homeip.net&myip=" + WideToAnsi(adapter));
    for (int tick = 0; tick < 36; ++tick) dialog->OnTimer();
    io.poll();
    EXPECT_EQ(server.Count(), 1u) << "refreshes that change nothing make no request";
    EXPECT_EQ(view.statusLines.back(), L"http://myhost.homeip.net ");
    for (const std::wstring& line : view.statusLines) EXPECT_EQ(line.find(L"secret"), std::wstring::npos);
}

}  // namespace
}  // namespace tarnhollow::test
