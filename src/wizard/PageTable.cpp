// SPDX-License-Identifier: MIT
#include "wizard/PageTable.h"

#include <iterator>

namespace wizard {

namespace {

// Flags: next enabled, previous enabled, abort enabled, next hidden,
// previous hidden, abort hidden, help hidden.
constexpr PageFlags selectionFlags { false, false, true, false, true, false, true };
constexpr PageFlags firmwareFlags { true, true, true, false, false, false, true };
constexpr PageFlags firstFirmwareFlags { true, false, true, false, true, false, true };
constexpr PageFlags afterFirmwareFlags { true, false, true, false, true, false, true };
constexpr PageFlags adjustmentFlags { true, true, true, false, false, false, true };
constexpr PageFlags finalFlags { true, false, false, false, true, true, true };

constexpr PageRow fivePages[] = {
    { PageClass::selection, 0, 0, 1, "70", "50", selectionFlags },
    { PageClass::firmware, 1, 0, 2, "71", "50", firmwareFlags },
    { PageClass::afterFirmware, 2, 1, 3, "72", "50", afterFirmwareFlags },
    { PageClass::adjustment, 3, 2, 4, "73", "50", adjustmentFlags },
    { PageClass::final, 4, 3, 4, "74", "50", finalFlags },
};

constexpr PageRow fourPages[] = {
    { PageClass::firmware, 0, 0, 1, "70", "50", firstFirmwareFlags },
    { PageClass::afterFirmware, 1, 0, 2, "72", "50", afterFirmwareFlags },
    { PageClass::adjustment, 2, 1, 3, "73", "50", adjustmentFlags },
    { PageClass::final, 3, 2, 3, "74", "50", finalFlags },
};

static_assert(std::size(fivePages) == PageTable::fivePageCount);
static_assert(std::size(fourPages) == PageTable::fourPageCount);

} // namespace

const PageRow& PageTable::row(bool selectPrinter, int index)
{
    return selectPrinter ? fivePages[index] : fourPages[index];
}

const PageRow* PageTable::rowOf(bool selectPrinter, PageClass pageClass)
{
    for (int i = 0; i < pageCount(selectPrinter); ++i) {
        if (row(selectPrinter, i).pageClass == pageClass)
            return &row(selectPrinter, i);
    }
    return nullptr;
}

} // namespace wizard
