// The main dialog's controller: owns the server, holds the dialog's fields and runs its
// algorithms (start-up, Save, StartOrStop, the status line and its timer, the dynamic DNS
// account). It runs on the server thread and talks to a View.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Server.h"
#include "app/View.h"
#include "ddns/DynDnsUpdater.h"
#include "platform/AliveToken.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

// Everything but the Post* commands runs on the server thread. A view on another
// thread changes nothing directly: it posts a command, and the controller's calls to
// the view come on the server thread, for the view to queue to its own.
class CMainDialog {
public:
    CMainDialog(asio::io_context& io, View& view, const std::wstring& documentRoot);
    ~CMainDialog();

    // Reads Port, Enable and the dynamic DNS account, starts the timer and starts the
    // server when enabled (or on `portOverride` for this run, without saving it).
    // Returns false when a start was attempted and failed.
    bool LoadAndStart(std::optional<uint32_t> portOverride = std::nullopt);

    // Starts, restarts or stops (port 0) the server. True only when a start was
    // attempted and failed.
    bool StartOrStop(uint32_t port);

    // Takes the fields from the controls, saves and applies them: the Save command.
    void Save(const DialogFields& fields);

    // Reads the settings again and applies them as Save does (a port given for this
    // run stays): what a headless user's edit of the settings file asks for.
    void Reload();

    // The Register button: the dynamic DNS plug-in's registration, or without one the
    // provider's sign-up page in the user's browser.
    void Register();

    // The Enable box was clicked: the fields as the controls hold them, applied to the
    // status line at once; the server itself changes only on Save.
    void EnableClicked(const DialogFields& fields);

    // Stops the server and the timer: the first steps of leaving the program.
    void Stop();

    // The status line; returns the registered dynamic DNS name, or empty. When the
    // dynamic DNS update needs a request, it runs meanwhile and its outcome is shown,
    // and its name handed on, when it comes.
    std::wstring RefreshStatus();
    void ShowStatus(const std::wstring& address, const std::wstring& message);

    // One tick of the one-second timer.
    void OnTimer();

    // Commands from a view on any thread, run on the server thread.
    void PostSave(const DialogFields& fields);
    void PostStop();

    CServer& Server() { return server_; }
    DynDnsUpdater& Updater() { return updater_; }
    const DomainList& Domains() const { return domainList_; }
    bool ServerRunning() const { return serverRunning_; }
    uint32_t RunningPort() const { return runningPort_; }
    const std::wstring& OpenUrl() const { return openUrl_; }
    const DialogFields& Fields() const { return fields_; }

private:
    void StartTimer();
    // Name, User, Pass and Domain from the settings, through the updater's PatchOptions.
    void LoadAccount();
    void Apply(const DialogFields& fields, bool storePort);
    // Steps 7 and 8 of the status line, for an update's outcome.
    std::wstring ShowUpdate(const DynDnsResult& result, const std::wstring& adapter);
    void HandOnPublicName(const std::wstring& name);
    void ShowFields();

    asio::io_context& io_;
    View& view_;
    DialogFields fields_;
    DomainList domainList_;
    DynDnsUpdater updater_;
    bool serverRunning_ = false;
    CServer server_;
    uint32_t runningPort_ = 0;
    std::wstring openUrl_;
    std::optional<uint32_t> portOverride_;
    // Whether an update's outcome has been shown since the account was last applied:
    // until then a refresh whose update is still running shows the machine's address.
    bool updateShown_ = false;
    std::wstring lastShownAddress_;
    std::wstring lastShownMessage_;
    std::wstring statusText_;
    int tickCounter_ = 0;
    struct Timer;
    std::unique_ptr<Timer> timer_;
    // Handlers left in the event loop (the timer's tick, posted commands, update
    // outcomes) run only while the dialog lives.
    AliveToken<CMainDialog> alive_{this};
};

}  // namespace tarnhollow
