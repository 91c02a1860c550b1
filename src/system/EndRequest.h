// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace wizard::sys {

// The wizard asked to end from outside: SIGTERM, SIGINT or SIGHUP on Linux, the end of
// the desktop session on Windows. A signal only marks the request; onEnd then runs on
// the thread that called watchEndRequests, from its event loop, never inside the
// signal. False when the watch cannot be set up (the signals then keep their default).
bool watchEndRequests(std::function<void()> onEnd);

// Marks the request (also for callers that learn of the end otherwise) and cuts short
// every wait of waitUnlessEnding.
void requestEnd();
bool endRequested();
// Forgets a request (tests that run several wizards in one process).
void clearEndRequest();

// Waits milliseconds, or less when the end is asked meanwhile; true when the whole
// time passed.
bool waitUnlessEnding(int milliseconds);

} // namespace wizard::sys
