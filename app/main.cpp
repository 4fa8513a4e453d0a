// The program: reads the command line, holds the single-instance lock, builds the main
// dialog's controller with its view on the server thread, runs that thread's event loop
// until SIGINT or SIGTERM (SIGHUP reads the settings again), and tears down in order
// there before the thread is joined.
#include <sys/resource.h>

#include <asio.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/CommandLine.h"
#include "app/HeadlessView.h"
#include "app/MainDialog.h"
#include "app/window/WindowApplication.h"
#include "platform/InstanceLock.h"
#include "platform/Settings.h"
#include "platform/TextConvert.h"
#include "platform/UserFolders.h"

using namespace tarnhollow;

namespace {

// Room for as many connections as the system lets this user have, within reason: the
// soft limit is often far below the hard one.
void RaiseDescriptorLimit() {
    constexpr rlim_t kWanted = 8192;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kWanted ? kWanted : limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

int main(int argc, char** argv) {
    // A peer that resets its connection while a file is sent, a closed standard output,
    // a lost display: a write to any of them must fail with an error, not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    CommandLine line = ParseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "tarnhollow: %s\n%s", line.error.c_str(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::puts("3.1.2.47");
        return 0;
    }

    std::string settings = line.settings.empty() ? DefaultSettingsFile() : line.settings;
    std::error_code ec;
    std::filesystem::path settingsPath = std::filesystem::absolute(settings, ec);
    if (!ec) settings = settingsPath.lexically_normal().string();
    SetSettingsFile(settings);

    InstanceLock lock(settings);
    if (!lock.Held()) {
        std::fprintf(stderr, "tarnhollow: another instance is already running with the settings file %s\n",
                     settings.c_str());
        return 1;
    }

    std::wstring root;
    if (!line.root.empty()) {
        std::filesystem::path rootPath = std::filesystem::absolute(line.root, ec);
        root = AnsiToWide(ec ? line.root : rootPath.lexically_normal().string());
    }

    RaiseDescriptorLimit();
    // The server's event loop runs on a thread of its own, so that the first thread is
    // free for the window's event loop; in a headless run the first thread only waits
    // for the server thread to end.
    asio::io_context io;
    HeadlessView headless(line.qr);
    View* view = &headless;
    std::unique_ptr<CMainDialog> dialog;
    std::unique_ptr<WindowApplication> window;
    asio::signal_set signals(io, SIGINT, SIGTERM);
    // SIGHUP: the settings file was edited; read it again and apply it as Save does. The
    // handler runs on the server thread, where the controller lives.
    asio::signal_set hangup(io, SIGHUP);
    std::function<void()> awaitHangup = [&] {
        hangup.async_wait([&](const asio::error_code& error, int) {
            if (error || !dialog) return;
            dialog->Reload();
            awaitHangup();
        });
    };
    // On the server thread: the dialog is stopped and destroyed where it ran, then the
    // loop ends and the thread with it.
    auto stopServer = [&] {
        asio::error_code ignored;
        signals.cancel(ignored);
        hangup.cancel(ignored);
        if (dialog) dialog->Stop();
        dialog.reset();
        io.stop();
        if (window) window->Quit();
    };
    bool started = false;
    auto loadAndStart = [&] {
        dialog = std::make_unique<CMainDialog>(io, *view, root);
        dialog->Server().SetPortInUseHint(
            window ? std::wstring(L"Choose another port and Save.")
                   : AnsiToWide("Choose another port with --port N, or set Port in " + settings + "."));
        started = dialog->LoadAndStart(line.port);
        // A headless start that fails has nobody to show its message box to; the
        // window's user can choose another port.
        if (!started && !window) {
            stopServer();
            return;
        }
        signals.async_wait([&](const asio::error_code& error, int) {
            if (!error) stopServer();
        });
        awaitHangup();
    };
    // The window, when there is a display and no --headless: the controller is made
    // once it is shown, and until then the server thread waits for it.
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> awaitWindow;
    if (!line.headless && WindowApplication::Available()) {
        window = std::make_unique<WindowApplication>(
            argc, argv, io, [&] { return dialog.get(); }, loadAndStart, stopServer);
        view = &window->ControllerView();
        awaitWindow.emplace(io.get_executor());
    } else {
        asio::post(io, loadAndStart);
    }
    std::thread serverThread([&io] { io.run(); });
    if (window) {
        window->Run();
        // However Qt's loop ended, the server ends in order too.
        asio::post(io, stopServer);
    }
    serverThread.join();
    return started || window ? 0 : 1;
}
