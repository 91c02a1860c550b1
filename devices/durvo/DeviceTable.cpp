// SPDX-License-Identifier: MIT
#include "DeviceTable.h"

namespace wizard::durvo {

DeviceTable& DeviceTable::instance()
{
    static DeviceTable table;
    return table;
}

std::uint32_t DeviceTable::add(std::shared_ptr<DurvoDevice> device)
{
    std::lock_guard<std::mutex> lock(mutex);
    // Handles are not reused soon, so a stale handle held by a caller does not
    // reach a printer opened later.
    for (int tries = 0; tries < 1000; ++tries) {
        ++lastHandle;
        if (lastHandle != 0 && devices.find(lastHandle) == devices.end()) {
            devices.emplace(lastHandle, std::move(device));
            return lastHandle;
        }
    }
    return 0;
}

std::shared_ptr<DurvoDevice> DeviceTable::find(std::uint32_t handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = devices.find(handle);
    return it == devices.end() ? nullptr : it->second;
}

std::shared_ptr<DurvoDevice> DeviceTable::remove(std::uint32_t handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = devices.find(handle);
    if (it == devices.end())
        return nullptr;
    std::shared_ptr<DurvoDevice> device = std::move(it->second);
    devices.erase(it);
    return device;
}

} // namespace wizard::durvo
