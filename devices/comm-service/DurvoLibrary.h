// SPDX-License-Identifier: MIT
// The device-access library, loaded at run time from beside the service (or
// the path given), as any client of it would.
#pragma once

#include "durvo.h"

#include <string>

namespace service {

class DurvoLibrary {
public:
    ~DurvoLibrary();
    bool load(const std::string& path, std::string& error);

    decltype(&OpenQuarle) open = nullptr;
    decltype(&CloseQuarle) close = nullptr;
    decltype(&WriteQuarleExEx) write = nullptr;
    decltype(&ReadQuarleExEx) read = nullptr;
    decltype(&ReadStatusExEx) readStatus = nullptr;

private:
    void* handle = nullptr;
};

} // namespace service
