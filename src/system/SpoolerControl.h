// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wizard::sys {

// The printer identifier: 41 UTF-16 units with the terminating zero.
inline constexpr std::size_t printerIdSize = 82;

// Hands the printer back: switches bidirectional support on again (on Linux: releases
// the queue if the wizard held it) and starts the management tool "Ruvelk.exe" from
// the application directory's "x32" or "x64" folder. False, doing nothing, when the
// queue cannot be opened with full access or its record cannot be read, or when
// another holder's record is on it (another wizard's printer is never given back by
// this one); otherwise whether the tool was started. The write of the record is not
// checked.
bool restoreBidiAndStartRuvelk(const std::wstring& printerName);
// The first half of it: bidirectional support on again (the queue released), the
// tool left as it is; false in the same cases. For a caller that hands back
// several printers and starts the tool once, after the last.
bool restoreBidi(const std::wstring& printerName);
// The second half: starts the management tool from ruvelkFolder().
bool startRuvelk();

// The identifier as the spooler stores a string value: UTF-16 little-endian units,
// then a zero unit.
std::vector<std::uint8_t> encodePrinterId(const std::wstring& id);

// The identifier in block (printerIdSize bytes) up to its first zero unit; empty
// unless it is exactly 40 units long.
std::wstring decodePrinterId(const std::uint8_t* block);

// Who holds a queue, from its hold record (Holder.h).
enum class QueueHold {
    none, // not held by a wizard, as far as a record tells (or the queue cannot be read)
    own, // this process
    otherWizard, // a wizard that runs, or one that cannot be checked from here
    stale, // a wizard that no longer runs
};
// record receives the hold record, if any.
QueueHold queueHoldOf(const std::wstring& printerName, std::string* record = nullptr);

// Hands back a queue whose holder no longer runs: released and the management tool
// started. True when it was released; record receives the stale holder's record.
bool releaseStaleHold(const std::wstring& printerName, std::string* record = nullptr);

// Reads the printer data "PrinterID" under "DsUser" into block (printerIdSize bytes);
// true only when the value is exactly that long. A longer value does not fit and a
// shorter one is refused; block is then not to be used.
bool readPrinterId(const std::wstring& printerName, void* block);

// text with every "%ID_DRVTYPE%" (case-sensitive) replaced by driverType.
std::wstring replaceDrvType(std::wstring text, const std::wstring& driverType);

// The folder the management tool starts from: the application directory with forward
// slashes and no trailing separator, then "/x32" on a 32-bit system or "/x64".
std::wstring ruvelkFolder();

} // namespace wizard::sys
