#include "module/sessions/SessionManager.h"
#include "core/token/DeviceHandle.h"

SessionManager::SessionManager(DeviceHandle* pDeviceHandle) : m_pDeviceHandle(pDeviceHandle) {}

SessionManager::~SessionManager() = default;

RESULT SessionManager::GetSessionCount(CK_SLOT_ID ulSlotID, CK_FLAGS ulMask, CK_ULONG* pulCount)
{
    (void)ulMask;
    if (pulCount == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (ulSlotID == 0) {
        return CKR_SLOT_ID_INVALID;
    }
    if (m_pDeviceHandle == nullptr || !m_pDeviceHandle->bIsSlotInvalid(ulSlotID)) {
        return CKR_SLOT_ID_INVALID;
    }
    // No sessions are kept yet.
    *pulCount = 0;
    return 0;
}
