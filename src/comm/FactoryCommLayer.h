// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace wizard {

class ILogger;
class IMCommLayer;

// Builds the comm layer a page action uses. Kind 0 is the layer over the
// device-access library (every page uses it); kind 1 the layer that goes
// through the printer-communication service over a pipe.
class FactoryCommLayer {
public:
    FactoryCommLayer() = delete;

    // A new layer owned by the caller, or null for an unknown kind or when
    // memory runs out. printerName and the options matter only to kind 1.
    static IMCommLayer* Build(ILogger* logger, std::int32_t kind, const wchar_t* printerName,
        std::int32_t first, std::int32_t second, std::int32_t third, std::int32_t fourth, std::int32_t fifth);
};

} // namespace wizard
