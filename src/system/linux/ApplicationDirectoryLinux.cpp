// SPDX-License-Identifier: MIT
#include "system/ApplicationDirectory.h"

#include "system/TextEncoding.h"

#include <string>
#include <unistd.h>

namespace wizard::sys {

std::wstring executablePath()
{
    // The link's target may be longer than any first guess; grow until it fits.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::wstring();
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return fromUtf8(buffer);
}

} // namespace wizard::sys
