// The turn on a line goes to threads in the order they asked for it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "line/TurnLock.h"

namespace {

// Long enough for a thread that has said it is about to ask to be blocked
// in the asking.
constexpr auto kTimeToBlock = std::chrono::milliseconds(100);

// The thread that gives the turn up and asks again at once comes after the
// two already waiting, as a plain mutex would not have it.
TEST(TurnLock, TheReleasingThreadAskingAgainComesAfterThoseWaiting) {
    CTurnLock turn;
    std::mutex enteredMutex;
    std::vector<int> entered;
    const auto take = [&](int who) {
        std::lock_guard<CTurnLock> held(turn);
        std::lock_guard<std::mutex> record(enteredMutex);
        entered.push_back(who);
    };
    turn.lock();
    std::vector<std::thread> waiters;
    for (int who : {1, 2}) {
        std::promise<void> asking;
        std::future<void> asked = asking.get_future();
        waiters.emplace_back([&take, who, asking = std::move(asking)]() mutable {
            asking.set_value();
            take(who);
        });
        asked.wait();
        std::this_thread::sleep_for(kTimeToBlock);
    }
    turn.unlock();
    take(3);
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(entered, (std::vector<int>{1, 2, 3}));
}

}  // namespace
