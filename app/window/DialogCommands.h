// What the window asks of the controller. Each call is made on Qt's thread and only
// posts the command to the server thread, where the controller lives.
#pragma once

#include "app/View.h"

namespace tarnhollow {

class DialogCommands {
public:
    virtual ~DialogCommands() = default;
    // The window is shown: LoadAndStart.
    virtual void LoadAndStart() = 0;
    virtual void Save(const DialogFields& fields) = 0;
    // The Enable box was clicked; the fields are as the controls hold them.
    virtual void EnableClicked(const DialogFields& fields) = 0;
    virtual void Register() = 0;
    // Stops the server and ends the program.
    virtual void Stop() = 0;
};

}  // namespace tarnhollow
