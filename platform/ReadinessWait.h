// One readiness wait at a time per direction on an Asio socket of the event loop;
// included only by the sources of the asynchronous sockets.
#pragma once

#include <asio.hpp>

#include "platform/AliveToken.h"

namespace tarnhollow {

// Asks the reactor once for `direction` readiness of `socket`, unless such a wait is
// out already (`armed`). `then` runs when it comes, only while `alive`'s owner lives and
// not for a wait that closing the socket cancelled (the closer clears `armed` itself).
template <typename Socket, typename Owner, typename Then>
void WaitOnce(Socket& socket, asio::socket_base::wait_type direction, bool& armed, AliveToken<Owner>& alive,
              Then then) {
    if (armed || !socket.is_open()) return;
    armed = true;
    socket.async_wait(direction, alive.Guard([&armed, then = std::move(then)](const asio::error_code& ec) mutable {
        if (ec == asio::error::operation_aborted) return;
        armed = false;
        then();
    }));
}

}  // namespace tarnhollow
