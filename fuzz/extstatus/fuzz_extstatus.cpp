// SPDX-License-Identifier: MIT
// Hostile replies to the extended-status command, of any length: decoded on
// their own, and through the comm layer whose library hands them over with any
// length it likes. The library here is a table of stand-in calls, since the
// point is to reach the layer with replies no real printer would send.
#include "comm/DurvoCommLayer.h"
#include "comm/PrinterCommands.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using wizard::CommStatus;
using wizard::DurvoCommLayer;
using wizard::DurvoFunctions;
using wizard::PrinterCommands;

namespace {

const std::uint8_t* replyData = nullptr;
std::size_t replySize = 0;
std::int32_t claimedLength = 0;
int closes = 0;

std::uint32_t openStub(const char*)
{
    return 7;
}
std::int32_t closeStub(std::uint32_t)
{
    ++closes;
    return 1;
}
std::int32_t writeStub(std::uint32_t, const char*, std::int32_t, std::int32_t, std::int32_t, std::int32_t)
{
    return 1;
}
// An empty entry has no bytes at all (a null pointer), which memcpy may not be given.
void copyReply(char* buffer, std::uint32_t capacity)
{
    const std::size_t length = std::min<std::size_t>(replySize, capacity);
    if (length > 0)
        std::memcpy(buffer, replyData, length);
}

// The handshake is answered "OK"; every later read gets the fuzzer's reply,
// cut to the capacity, with whatever length the input claims.
int reads = 0;
std::int32_t readStub(std::uint32_t, char* buffer, std::uint32_t capacity, std::int32_t* received,
    std::int32_t, std::int32_t, std::int32_t)
{
    if (reads++ == 0) {
        std::memcpy(buffer, "OK", 2);
        *received = 2;
        return 1;
    }
    copyReply(buffer, capacity);
    *received = claimedLength;
    return 1;
}
std::int32_t statusStub(std::uint32_t, char* buffer, std::uint32_t capacity, std::int32_t* received,
    std::int32_t, std::int32_t, std::int32_t)
{
    copyReply(buffer, capacity);
    *received = claimedLength;
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The decoder alone, on exactly the input's bytes and a tight output.
    std::vector<std::uint8_t> out(size / 2 + 1);
    PrinterCommands::decodeExtendedStatus(reinterpret_cast<const char*>(data), size, out.data(), out.size());
    if (out.size() >= PrinterCommands::rawStatusBytes) {
        volatile CommStatus record = PrinterCommands::recordFromRawStatus(out.data());
        (void)record;
    }

    // The layer: the first four bytes are the length the library claims.
    claimedLength = 0;
    if (size >= 4)
        std::memcpy(&claimedLength, data, 4);
    replyData = size >= 4 ? data + 4 : data;
    replySize = size >= 4 ? size - 4 : size;
    reads = 0;
    closes = 0;

    DurvoFunctions functions;
    functions.OpenQuarle = &openStub;
    functions.CloseQuarle = &closeStub;
    functions.WriteQuarleExEx = &writeStub;
    functions.ReadQuarleExEx = &readStub;
    functions.ReadStatusExEx = &statusStub;
    {
        DurvoCommLayer layer(nullptr, 0, 0, functions);
        if (!layer.Open(L"fuzz"))
            __builtin_trap();
        CommStatus status {};
        const bool extended = layer.ReadStatusRpst(&status);
        // A failed status read must have closed the layer.
        if (!extended && (layer.Close() || closes != 1))
            __builtin_trap();
        if (extended) {
            layer.ReadStatus(&status);
        }
    }
    return 0;
}
