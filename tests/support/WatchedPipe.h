// SPDX-License-Identifier: MIT
#pragma once

#include "comm/VekCommLayer.h"
#include "system/NamedPipe.h"

#include <QList>

#include <memory>

namespace wizard::test {

// A real pipe whose opens, waits and transfer limits are counted.
class WatchedPipe : public sys::NamedPipe {
public:
    sys::PipeResult open(const std::wstring& name) override
    {
        ++opens;
        return NamedPipe::open(name);
    }
    sys::PipeResult wait(const std::wstring& name, int timeoutMs) override
    {
        waitLimits << timeoutMs;
        return NamedPipe::wait(name, timeoutMs);
    }
    sys::PipeResult write(const void* data, std::size_t length, std::size_t* written, int timeoutMs) override
    {
        transferLimits << timeoutMs;
        return NamedPipe::write(data, length, written, timeoutMs);
    }
    sys::PipeResult read(void* data, std::size_t capacity, std::size_t* received, int timeoutMs) override
    {
        transferLimits << timeoutMs;
        return NamedPipe::read(data, capacity, received, timeoutMs);
    }
    int opens = 0;
    QList<int> waitLimits;
    QList<int> transferLimits;
};

// The pipe layer as the factory builds it (options 1, 0, 0, 0, 0), talking
// through a WatchedPipe.
class WatchedVekCommLayer : public VekCommLayer {
public:
    explicit WatchedVekCommLayer(const wchar_t* printerName = L"Talvor C1", ILogger* logger = nullptr)
        : VekCommLayer(logger, printerName, 1, 0, 0, 0, 0)
    {
        auto watched = std::make_unique<WatchedPipe>();
        pipe = watched.get();
        replacePipe(std::move(watched));
    }
    WatchedPipe* pipe;
};

} // namespace wizard::test
