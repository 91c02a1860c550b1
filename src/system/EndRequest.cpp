// SPDX-License-Identifier: MIT
#include "system/EndRequest.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace wizard::sys {

namespace {
std::atomic<bool> ending { false };
std::mutex waitLock;
std::condition_variable waits;
} // namespace

void requestEnd()
{
    {
        std::lock_guard<std::mutex> lock(waitLock);
        ending = true;
    }
    waits.notify_all();
}

bool endRequested()
{
    return ending.load();
}

void clearEndRequest()
{
    std::lock_guard<std::mutex> lock(waitLock);
    ending = false;
}

bool waitUnlessEnding(int milliseconds)
{
    std::unique_lock<std::mutex> lock(waitLock);
    const auto until
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0);
    return !waits.wait_until(lock, until, [] { return ending.load(); });
}

} // namespace wizard::sys
