// The window's commands posted to the controller on the server thread's event loop.
#pragma once

#include <functional>

#include "app/window/DialogCommands.h"

namespace asio {
class io_context;
}

namespace tarnhollow {

class CMainDialog;

class PostedCommands : public DialogCommands {
public:
    // `dialog` gives the controller, or null while there is none; like `loadAndStart`
    // and `stop` it is called on the server thread only.
    PostedCommands(asio::io_context& io, std::function<CMainDialog*()> dialog, std::function<void()> loadAndStart,
                   std::function<void()> stop);

    void LoadAndStart() override;
    void Save(const DialogFields& fields) override;
    void EnableClicked(const DialogFields& fields) override;
    void Register() override;
    void Stop() override;

private:
    void Post(std::function<void(CMainDialog&)> command);

    asio::io_context& io_;
    std::function<CMainDialog*()> dialog_;
    std::function<void()> loadAndStart_;
    std::function<void()> stop_;
};

}  // namespace tarnhollow
