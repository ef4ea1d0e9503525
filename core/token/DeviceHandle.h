// The device: the slot table of the module, one slot per token folder.
#pragma once

#include <vector>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"

class DeviceHandle {
public:
    DeviceHandle();
    virtual ~DeviceHandle();
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    // Builds the slot table.
    RESULT InitDevice();

protected:
    // The slots in the order they were found; slot IDs 1, 2, 3, ...
    std::vector<_slotDesc> m_vtrSlotSet;
};
