// SPDX-License-Identifier: MIT
// On Windows the wizard learns of the end of the session from the toolkit (its
// commit-data request), whose handler calls requestEnd and the window's end path
// itself: there is no signal to watch here.
#include "system/EndRequest.h"

namespace wizard::sys {

bool watchEndRequests(std::function<void()> onEnd)
{
    (void)onEnd;
    return true;
}

} // namespace wizard::sys
