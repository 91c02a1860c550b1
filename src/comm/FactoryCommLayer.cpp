// SPDX-License-Identifier: MIT
#include "comm/FactoryCommLayer.h"

#include "comm/DurvoCommLayer.h"
#include "comm/VekCommLayer.h"
#include "foundation/ILogger.h"

#include <new>

namespace wizard {

IMCommLayer* FactoryCommLayer::Build(ILogger* logger, std::int32_t kind, const wchar_t* printerName,
    std::int32_t first, std::int32_t second, std::int32_t third, std::int32_t fourth, std::int32_t fifth)
{
    switch (kind) {
    case 0: {
        IMCommLayer* layer = new (std::nothrow) DurvoCommLayer(logger, 0, 0);
        if (logger)
            logger->Log(L"[%s] [FactoryCommLayer] [DurvoCommLayer] {%s}", L"DEBUG  ", L"wizard::FactoryCommLayer::Build");
        return layer;
    }
    case 1: {
        // --- kind 1: the pipe-service layer (VekCommLayer) ---
        IMCommLayer* layer = new (std::nothrow) VekCommLayer(logger, printerName, first, second, third, fourth, fifth);
        if (logger)
            logger->Log(L"[%s] [FactoryCommLayer] [VekCommLayer] {%s}", L"DEBUG  ", L"wizard::FactoryCommLayer::Build");
        return layer;
        // --- end of kind 1 ---
    }
    default:
        return nullptr;
    }
}

} // namespace wizard
