// Posting the window's commands to the server thread.
#include "app/window/PostedCommands.h"

#include <asio.hpp>

#include "app/MainDialog.h"

namespace tarnhollow {

PostedCommands::PostedCommands(asio::io_context& io, std::function<CMainDialog*()> dialog,
                               std::function<void()> loadAndStart, std::function<void()> stop)
    : io_(io), dialog_(std::move(dialog)), loadAndStart_(std::move(loadAndStart)), stop_(std::move(stop)) {}

void PostedCommands::LoadAndStart() { asio::post(io_, loadAndStart_); }

void PostedCommands::Save(const DialogFields& fields) {
    Post([fields](CMainDialog& dialog) { dialog.Save(fields); });
}

void PostedCommands::EnableClicked(const DialogFields& fields) {
    Post([fields](CMainDialog& dialog) { dialog.EnableClicked(fields); });
}

void PostedCommands::Register() {
    Post([](CMainDialog& dialog) { dialog.Register(); });
}

void PostedCommands::Stop() { asio::post(io_, stop_); }

void PostedCommands::Post(std::function<void(CMainDialog&)> command) {
    // The controller is looked up where it lives; a command that arrives before it
    // exists or after it is gone does nothing.
    asio::post(io_, [this, command = std::move(command)] {
        if (CMainDialog* dialog = dialog_()) command(*dialog);
    });
}

}  // namespace tarnhollow
