// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace wizard {

// The five page classes, by their number (Page0K .. Page4K).
enum class PageClass { selection = 0, firmware = 1, afterFirmware = 2, adjustment = 3, final = 4 };

// The seven button flags, in the order the setters are called when a page
// becomes current.
struct PageFlags {
    bool nextEnabled;
    bool previousEnabled;
    bool abortEnabled;
    bool nextHidden;
    bool previousHidden;
    bool abortHidden;
    bool helpHidden;
};

// One page in one layout: where it stands and what it starts with.
struct PageRow {
    PageClass pageClass;
    int pageId;
    int previousPageIndex;
    int nextPageIndex;
    const char* stepTitleId;
    const char* helpId;
    PageFlags flags;
};

// The layouts: five pages when the user picks the printer, four when the
// printer is preset and the selection page is left out. A page's id equals
// its index in the page array and in the page stack.
struct PageTable {
    static constexpr int fivePageCount = 5;
    static constexpr int fourPageCount = 4;

    // Pages in their order for the layout.
    static int pageCount(bool selectPrinter) { return selectPrinter ? fivePageCount : fourPageCount; }
    static const PageRow& row(bool selectPrinter, int index);
    // The row of a page class in the layout; null when the layout has none
    // (the selection page in the four-page layout).
    static const PageRow* rowOf(bool selectPrinter, PageClass pageClass);

    // Where the selection page leads when the firmware needs the update, and
    // when it is current (straight to the adjustment page).
    static constexpr int firmwareUpdateIndex = 1;
    static constexpr int adjustmentIndex = 3;
};

} // namespace wizard
