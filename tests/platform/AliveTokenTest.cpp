// Guarded handlers run while their owner lives and never after it has gone or let go.
#include "platform/AliveToken.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tarnhollow::test {
namespace {

struct Owner {
    AliveToken<Owner> alive{this};
};

TEST(AliveToken, GuardedHandlerRunsOnlyWhileTheOwnerLives) {
    auto owner = std::make_unique<Owner>();
    int calls = 0;
    std::function<void(int)> handler = owner->alive.Guard([&calls](int step) { calls += step; });
    handler(1);
    EXPECT_EQ(calls, 1);
    owner.reset();
    handler(10);
    EXPECT_EQ(calls, 1);
}

TEST(AliveToken, ExpireEndsWhatWaitsAndTheWeakReferenceFollowsIt) {
    Owner owner;
    bool ran = false;
    auto waiting = owner.alive.Guard([&ran] { ran = true; });
    const std::weak_ptr<Owner*> weak = owner.alive.Weak();
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(*weak.lock(), &owner);
    owner.alive.Expire();
    waiting();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(owner.alive.Weak().expired());
}

}  // namespace
}  // namespace tarnhollow::test
