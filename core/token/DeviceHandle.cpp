#include "core/token/DeviceHandle.h"

DeviceHandle::DeviceHandle() = default;

DeviceHandle::~DeviceHandle() = default;

RESULT DeviceHandle::InitDevice()
{
    m_vtrSlotSet.clear();
    return 0;
}
