// The main dialog's controller: owns the server, holds the dialog's fields and runs its
// algorithms (start-up, Save, StartOrStop, the status line and its timer). It runs on
// the server thread and talks to a View.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Server.h"
#include "app/View.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class CMainDialog {
public:
    CMainDialog(asio::io_context& io, View& view, const std::wstring& documentRoot);
    ~CMainDialog();

    // Reads Port and Enable, starts the timer and starts the server when enabled (or
    // on `portOverride` for this run, without saving it). Returns false when a start
    // was attempted and failed.
    bool LoadAndStart(std::optional<uint32_t> portOverride = std::nullopt);

    // Starts, restarts or stops (port 0) the server. True only when a start was
    // attempted and failed.
    bool StartOrStop(uint32_t port);

    // Saves the fields and applies them: the Save command.
    void Save();

    // Stops the server and the timer: the first steps of leaving the program.
    void Stop();

    // The status line; returns the registered dynamic DNS name, or empty.
    std::wstring RefreshStatus();
    void ShowStatus(const std::wstring& address, const std::wstring& message);

    // One tick of the one-second timer.
    void OnTimer();

    CServer& Server() { return server_; }
    bool ServerRunning() const { return serverRunning_; }
    uint32_t RunningPort() const { return runningPort_; }
    const std::wstring& OpenUrl() const { return openUrl_; }

    // The dialog's fields, as the controls would set them.
    uint32_t port = 8080;
    bool enable = true;

private:
    void StartTimer();

    asio::io_context& io_;
    View& view_;
    bool serverRunning_ = false;
    CServer server_;
    uint32_t runningPort_ = 0;
    std::wstring openUrl_;
    std::wstring lastShownAddress_;
    std::wstring lastShownMessage_;
    std::wstring statusText_;
    int tickCounter_ = 0;
    struct Timer;
    std::unique_ptr<Timer> timer_;
};

}  // namespace tarnhollow
