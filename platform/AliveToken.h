// A token an object holds so that the handlers it leaves waiting in the event loop
// (readiness, timers, posted calls) run only while it lives.
#pragma once

#include <memory>
#include <utility>

namespace tarnhollow {

// A member of its owner, so it goes with it. Guarded handlers hold only a weak
// reference: one that fires after the owner has gone does nothing. Server thread only,
// since nothing keeps the owner alive between the check and the call.
template <typename Owner>
class AliveToken {
public:
    explicit AliveToken(Owner* owner) : owner_(owner) {}
    AliveToken(const AliveToken&) = delete;
    AliveToken& operator=(const AliveToken&) = delete;

    // `handler` as a handler that runs, with the same arguments, only while the owner
    // lives. The owner may go during the call: nothing here touches it afterwards.
    template <typename Handler>
    auto Guard(Handler handler) {
        return [token = Weak(), handler = std::move(handler)](auto&&... arguments) mutable {
            if (!token.expired()) handler(std::forward<decltype(arguments)>(arguments)...);
        };
    }

    // The weak reference itself, for whoever finds out later whether the owner lives
    // (after a call that may have ended it, or from a result that comes back late).
    std::weak_ptr<Owner*> Weak() {
        // Made on first use: an owner that never leaves anything waiting pays nothing.
        if (!token_) token_ = std::make_shared<Owner*>(owner_);
        return token_;
    }

    // For an owner that is finished before it is freed: what waits now never runs.
    void Expire() { token_.reset(); }

private:
    Owner* owner_;
    std::shared_ptr<Owner*> token_;
};

}  // namespace tarnhollow
