// SPDX-License-Identifier: MIT
#include "comm/FactoryCommLayer.h"

#include "comm/DurvoCommLayer.h"
#include "comm/VekCommLayer.h"
#include "foundation/Trace.h"

#include <new>

namespace wizard {

IMCommLayer* FactoryCommLayer::Build(ILogger* logger, std::int32_t kind, const wchar_t* printerName,
    std::int32_t first, std::int32_t second, std::int32_t third, std::int32_t fourth, std::int32_t fifth)
{
    switch (kind) {
    case 0: {
        IMCommLayer* layer = new (std::nothrow) DurvoCommLayer(logger, 0, 0);
        trace(logger, TraceLevel::debug, L"[%s] [FactoryCommLayer] [DurvoCommLayer] {%s}",
            L"wizard::FactoryCommLayer::Build");
        return layer;
    }
    case 1: {
        // --- kind 1: the pipe-service layer (VekCommLayer) ---
        IMCommLayer* layer
            = new (std::nothrow) VekCommLayer(logger, printerName, first, second, third, fourth, fifth);
        trace(logger, TraceLevel::debug, L"[%s] [FactoryCommLayer] [VekCommLayer] {%s}",
            L"wizard::FactoryCommLayer::Build");
        return layer;
        // --- end of kind 1 ---
    }
    default:
        return nullptr;
    }
}

} // namespace wizard
