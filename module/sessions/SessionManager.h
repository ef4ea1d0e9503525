// All sessions of all slots of the module.
#pragma once

#include <p11-kit/pkcs11.h>

#include "core/token/ResultCodes.h"

class DeviceHandle;

class SessionManager {
public:
    // pDeviceHandle is not owned; it outlives the session manager.
    explicit SessionManager(DeviceHandle* pDeviceHandle);
    virtual ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // Number of open sessions of the slot whose flags hold every bit of
    // ulMask (0 counts all, CKF_RW_SESSION the read/write ones).
    RESULT GetSessionCount(CK_SLOT_ID ulSlotID, CK_FLAGS ulMask, CK_ULONG* pulCount);

protected:
    DeviceHandle* m_pDeviceHandle;
};
