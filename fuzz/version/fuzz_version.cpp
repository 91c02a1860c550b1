// SPDX-License-Identifier: MIT
// The printer's reply to the firmware version command, of any length and
// content, reduced to its version value and judged as a text reply.
#include "comm/PrinterCommands.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using wizard::PrinterCommands;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);

    // Straight from the input, which has no NUL of its own: the parser must
    // stay within the given capacity.
    std::vector<char> exact(text, text + size);
    volatile std::int32_t value = PrinterCommands::firmwareVersionValue(exact.data(), exact.size());
    (void)value;
    volatile bool judged = PrinterCommands::isOk(exact.data(), exact.size())
        || PrinterCommands::isRibbonError(exact.data(), exact.size())
        || PrinterCommands::isTimeOut(exact.data(), exact.size());
    (void)judged;

    // As the pages read it: at most 512 bytes in a zero-filled reply buffer.
    std::vector<char> reply(PrinterCommands::replyCapacity, '\0');
    // An empty entry comes as a null pointer, which memcpy may not be given.
    if (size > 0)
        std::memcpy(reply.data(), text, size < reply.size() ? size : reply.size());
    const std::int32_t fromBuffer = PrinterCommands::firmwareVersionValue(reply.data(), reply.size());

    // A reply that ends inside the buffer reads the same either way.
    if (size < reply.size() && (size == 0 || std::memchr(text, '\0', size) == nullptr)) {
        std::vector<char> terminated(text, text + size);
        terminated.push_back('\0');
        if (PrinterCommands::firmwareVersionValue(terminated.data(), terminated.size()) != fromBuffer)
            __builtin_trap();
    }
    return 0;
}
