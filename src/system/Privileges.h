// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys {

// Whether the process runs as the system's super-user (root on Linux). The
// web engine's sandbox refuses to start as root; Windows has no such rule, so
// there the answer is always false.
bool runsAsSuperUser();

} // namespace wizard::sys
