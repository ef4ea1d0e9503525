// SessionManager: every session of every slot. It holds one SessionHandle
// per slot that ever had a session, in the order the slots got their first
// one, and decodes session handles into a slot's SessionHandle and a
// session number.
#pragma once

#include <cstddef>
#include <vector>

#include <p11-kit/pkcs11.h>

#include "core/token/ResultCodes.h"

class DeviceHandle;
class SessionHandle;
class TokenHandle;

class SessionManager {
public:
    // pDeviceHandle is not owned; it outlives the session manager.
    explicit SessionManager(DeviceHandle* pDeviceHandle);
    // Deletes every SessionHandle: all sessions, login states and
    // operation states of all slots.
    virtual ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // Opens a session on the slot. The slot's first session loads its
    // token; a token that cannot be loaded gives 0x2. 0xB1 while 64 are
    // open; 0x3 once the slot's numbers are used up (until close-all).
    RESULT CreateSession(CK_SLOT_ID ulSlotID, CK_FLAGS ulFlags, CK_SESSION_HANDLE* phSession);
    // 0xB3 for a handle that names no record, 0xB0 for a closed session.
    RESULT CloseSession(CK_SESSION_HANDLE hSession);
    // Closes every session of the slot and logs it out; 0x3 for a slot
    // that never had a session.
    RESULT CloseAllSession(CK_SLOT_ID ulSlotID);
    // Slot, flags and login state of an open session; 0xB3 for any bad or
    // closed handle.
    RESULT GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SLOT_ID* pulSlotID, CK_FLAGS* pulFlags,
                          bool* pbLogin);
    // Number of open sessions of the slot whose flags hold every bit of
    // ulMask (0 counts all, CKF_RW_SESSION the read/write ones).
    RESULT GetSessionCount(CK_SLOT_ID ulSlotID, CK_FLAGS ulMask, CK_ULONG* pulCount);
    // Logs the session's slot in; the PIN check's code passes through.
    RESULT Login(CK_SESSION_HANDLE hSession, const unsigned char* pbyUserPIN, long nUserPINLength);
    // 0x101 when the slot is not logged in.
    RESULT Logout(CK_SESSION_HANDLE hSession);
    // The token of an open session's slot, or null.
    TokenHandle* GetTokenHandleBySessionHandleID(CK_SESSION_HANDLE hSession);

protected:
    // Slot IDs outside 1 to 0xFFFF are never found.
    bool IsSessionHandleExistBySlot(CK_SLOT_ID ulSlotID, size_t* pnIndex);
    // The SessionHandle of the handle's slot part.
    bool IsSessionHandleExist(CK_SESSION_HANDLE hSession, size_t* pnIndex);
    // 0 when the handle names an open session; else 0xB3 or 0xB0.
    RESULT CheckSessionHandleInvalid(CK_SESSION_HANDLE hSession, size_t* pnIndex);
    // 0x3 for slot 0 and for slots not in the slot table.
    RESULT CheckSlotID(const char* pszFunction, CK_SLOT_ID ulSlotID);

    DeviceHandle* m_pDeviceHandle;
    std::vector<SessionHandle*> m_vtrSessionHandleSet;
};
