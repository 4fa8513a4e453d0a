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

// The dialog's fields, as its controls show them.
struct DialogFields {
    uint32_t port = 8080;
    bool enable = true;
};

// Everything but the Post* commands runs on the server thread. A view on another
// thread changes nothing directly: it posts a command, and the controller's calls to
// the view come on the server thread, for the view to queue to its own.
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

    // Takes the fields from the controls, saves and applies them: the Save command.
    void Save(const DialogFields& fields);

    // Stops the server and the timer: the first steps of leaving the program.
    void Stop();

    // The status line; returns the registered dynamic DNS name, or empty.
    std::wstring RefreshStatus();
    void ShowStatus(const std::wstring& address, const std::wstring& message);

    // One tick of the one-second timer.
    void OnTimer();

    // Commands from a view on any thread, run on the server thread.
    void PostSave(const DialogFields& fields);
    void PostStop();

    CServer& Server() { return server_; }
    bool ServerRunning() const { return serverRunning_; }
    uint32_t RunningPort() const { return runningPort_; }
    const std::wstring& OpenUrl() const { return openUrl_; }
    const DialogFields& Fields() const { return fields_; }

private:
    void StartTimer();

    asio::io_context& io_;
    View& view_;
    DialogFields fields_;
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
