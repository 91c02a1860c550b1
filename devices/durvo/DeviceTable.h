// SPDX-License-Identifier: MIT
// The library's open devices by handle. A device stays alive while a call on
// another thread still uses it, even after its handle was closed.
#pragma once

#include "DurvoDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace wizard::durvo {

class DeviceTable {
public:
    static DeviceTable& instance();

    // 0 when no handle is free.
    std::uint32_t add(std::shared_ptr<DurvoDevice> device);
    std::shared_ptr<DurvoDevice> find(std::uint32_t handle);
    std::shared_ptr<DurvoDevice> remove(std::uint32_t handle);

private:
    std::mutex mutex;
    std::map<std::uint32_t, std::shared_ptr<DurvoDevice>> devices;
    std::uint32_t lastHandle = 0;
};

} // namespace wizard::durvo
