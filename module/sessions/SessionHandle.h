// SessionHandle: the sessions of one slot, the slot's login state and the
// slot's token, loaded with its first session and shared by all of them.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

#include <p11-kit/pkcs11.h>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"
#include "module/sessions/SessionRecords.h"

class TokenHandle;

// Open sessions per slot.
constexpr unsigned long MAX_SESSION_COUNT = 64;
// A slot that sees no session-management call for this long is logged out.
constexpr double SESSION_IDLE_TIMEOUT_SECONDS = 1800.0;

class SessionHandle {
public:
    // Loads the slot's token; GetTokenHandle() is null when it could not be
    // loaded, and such an object is to be deleted unused.
    SessionHandle(unsigned long ulSlotID, const char* pszTokenName);
    // Releases the token and every record's digest and search.
    virtual ~SessionHandle();
    SessionHandle(const SessionHandle&) = delete;
    SessionHandle& operator=(const SessionHandle&) = delete;

    // Opens a session; *pulSessionID is its number: one more than the
    // records so far, never a closed one's.
    RESULT CreateSession(CK_FLAGS ulFlags, unsigned long* pulSessionID);
    // Takes back the record just made by CreateSession when no handle could
    // be made for it.
    void TakeBackSession(unsigned long ulSessionID);
    RESULT CloseSession(unsigned long ulSessionID);
    // Empties the record list (numbering starts again at 1) and logs out.
    RESULT CloseAllSession();
    // The flags and the login state as they were before this call; only
    // then is the activity time refreshed, so an idle slot still reports
    // its old login state once.
    RESULT GetSessionInfo(unsigned long ulSessionID, CK_FLAGS* pulFlags, bool* pbLogin);
    // Open sessions whose flags hold every bit of ulMask.
    unsigned long GetSessionCount(CK_FLAGS ulMask) const;
    // 0 for an open session, 0xB3 for a number never handed out, 0xB0 for
    // a closed one.
    RESULT CheckSessionInvalid(unsigned long ulSessionID) const;
    // Checks the PIN against the slot's token; the prompt-sentinel PIN asks
    // the user (or takes the default PIN, as the settings say).
    RESULT Login(const unsigned char* pbyPIN, long nPINLength);
    RESULT Logout();
    // Refreshes the activity time, ending a login idle for too long.
    void Active();

    unsigned long GetSlotID() const { return m_ulSlotID; }
    bool IsLogin() const { return m_bLogin != 0; }
    TokenHandle* GetTokenHandle() const { return m_pTokenHandle; }

protected:
    // Releases what a record owns.
    static void ReleaseSessionRecord(_sessionInfo& stRecord);

    unsigned long m_ulSlotID;
    char m_szTokenName[MAX_PATH_LEN];
    TokenHandle* m_pTokenHandle;
    uint8_t m_bLogin;
    time_t m_tLastActive;
    unsigned long m_ulOpenSessionCount;
    std::vector<_sessionInfo> m_vtrSessionInfo;
};

// True for the PIN that means "ask the user": 0x01 0x08 "50739162", with or
// without the terminating zero byte C_InitToken callers pass.
bool IsPromptSentinelPIN(const unsigned char* pbyPIN, long nPINLength);
