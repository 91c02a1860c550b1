// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys {

// Every fixed wait of the wizard (after a firmware download, after stopping the
// management tool, between pipe retries) sleeps through here so tests can
// replace the clock; production waits stay as given. A wait ends early when the
// wizard is asked to end (EndRequest.h).
void sleepMs(int milliseconds);

using SleepFunction = void (*)(int milliseconds);
// Installs a replacement (null restores the real sleep); returns the previous one.
SleepFunction setSleepFunction(SleepFunction function);

} // namespace wizard::sys
