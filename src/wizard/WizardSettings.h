// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>

namespace wizard {

// What the command line and the data file decided, and what the printer
// selection page adds. Held inside the main window; the iterator, every page
// and the event dialogs read it through a pointer.
struct WizardSettings {
    // True: the user picks the printer on the selection page. False: the
    // printer is preset and the selection page is left out.
    bool selectPrinter = true;
    // Family number of the printer's driver (0 when the driver is not listed).
    std::int32_t printerType = 0;
    QString printerName;
    // The firmware file, opened exactly as written, and its version.
    QString firmwareName;
    std::int32_t firmwareValue = 0;
    // 1 when the printer's firmware is already at or above the target, 0 when
    // it needs the update. Written by the selection page.
    std::int32_t firmwareCurrent = 0;
    // "en", "fr" or "es".
    QString language;
};

} // namespace wizard
