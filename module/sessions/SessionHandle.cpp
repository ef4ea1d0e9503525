#include "module/sessions/SessionHandle.h"

#include <cstring>

#include "core/objects/HashHandle.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"
#include "module/sessions/SessionClock.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// The 10 bytes before PROMPT_SENTINEL_PIN's terminator.
constexpr long kSentinelLength = sizeof(PROMPT_SENTINEL_PIN) - 1;

}  // namespace

bool IsPromptSentinelPIN(const unsigned char* pbyPIN, long nPINLength)
{
    if (pbyPIN == nullptr) {
        return false;
    }
    if (nPINLength != kSentinelLength && nPINLength != kSentinelLength + 1) {
        return false;
    }
    return memcmp(pbyPIN, PROMPT_SENTINEL_PIN, static_cast<size_t>(nPINLength)) == 0;
}

SessionHandle::SessionHandle(unsigned long ulSlotID, const char* pszTokenName)
    : m_ulSlotID(ulSlotID),
      m_szTokenName{},
      m_pTokenHandle(nullptr),
      m_bLogin(0),
      m_tLastActive(SessionNow()),
      m_ulOpenSessionCount(0)
{
    if (pszTokenName != nullptr) {
        strncpy(m_szTokenName, pszTokenName, MAX_PATH_LEN - 1);
    }
    m_pTokenHandle = TokenHandle::CreateRegisteredTokenHandle(ulSlotID, m_szTokenName);
    if (m_pTokenHandle == nullptr) {
        TraceStepFailed("SessionHandle", "CreateRegisteredTokenHandle", E_FAIL);
        return;
    }
    m_pTokenHandle->m_pSessionHandle = this;
}

SessionHandle::~SessionHandle()
{
    for (_sessionInfo& stRecord : m_vtrSessionInfo) {
        ReleaseSessionRecord(stRecord);
    }
    delete m_pTokenHandle;
}

void SessionHandle::ReleaseSessionRecord(_sessionInfo& stRecord)
{
    delete stRecord.pHashHandle;
    stRecord.pHashHandle = nullptr;
    ReleaseSessionSearchInfo(stRecord.pstSearchInfo);
    stRecord.pstSearchInfo = nullptr;
}

void SessionHandle::Active()
{
    const time_t tNow = SessionNow();
    // A clock set backwards gives a negative difference: that only delays
    // the timeout.
    if (difftime(tNow, m_tLastActive) >= SESSION_IDLE_TIMEOUT_SECONDS) {
        if (m_bLogin != 0) {
            TraceStepSuccess("Active", "idle timeout, logged out");
        }
        m_bLogin = 0;
    }
    m_tLastActive = tNow;
}

RESULT SessionHandle::CreateSession(CK_FLAGS ulFlags, unsigned long* pulSessionID)
{
    static const char* const kFn = "CreateSession";
    if (pulSessionID == nullptr) {
        return Failed(kFn, "Check pulSessionID", ERROR_INVALID_PARAMETER);
    }
    if (m_ulOpenSessionCount >= MAX_SESSION_COUNT) {
        return Failed(kFn, "Check session count", CKR_SESSION_COUNT);
    }
    _sessionInfo stRecord = {};
    stRecord.ulSessionID = m_vtrSessionInfo.size() + 1;
    stRecord.ulFlags = ulFlags;
    stRecord.bActive = 1;
    m_vtrSessionInfo.push_back(stRecord);
    ++m_ulOpenSessionCount;
    Active();
    *pulSessionID = stRecord.ulSessionID;
    TraceStepSuccess(kFn, "Add session");
    return 0;
}

void SessionHandle::TakeBackSession(unsigned long ulSessionID)
{
    if (m_vtrSessionInfo.empty() || m_vtrSessionInfo.back().ulSessionID != ulSessionID) {
        return;
    }
    _sessionInfo& stRecord = m_vtrSessionInfo.back();
    if (stRecord.bActive != 0 && m_ulOpenSessionCount > 0) {
        --m_ulOpenSessionCount;
    }
    ReleaseSessionRecord(stRecord);
    m_vtrSessionInfo.pop_back();
}

RESULT SessionHandle::CheckSessionInvalid(unsigned long ulSessionID) const
{
    static const char* const kFn = "CheckSessionInvalid";
    if (ulSessionID == 0) {
        return Failed(kFn, "Check ulSessionID(1)", CKR_SESSION_HANDLE_INVALID);
    }
    if (ulSessionID > m_vtrSessionInfo.size()) {
        return Failed(kFn, "Check ulSessionID(2)", CKR_SESSION_HANDLE_INVALID);
    }
    if (m_vtrSessionInfo[ulSessionID - 1].bActive == 0) {
        return Failed(kFn, "Check session active", CKR_SESSION_CLOSED);
    }
    return 0;
}

RESULT SessionHandle::CloseSession(unsigned long ulSessionID)
{
    static const char* const kFn = "CloseSession";
    if (ulSessionID == 0) {
        return Failed(kFn, "Check ulSessionID(1)", CKR_SESSION_HANDLE_INVALID);
    }
    if (ulSessionID > m_vtrSessionInfo.size()) {
        return Failed(kFn, "Check ulSessionID(2)", CKR_SESSION_HANDLE_INVALID);
    }
    _sessionInfo& stRecord = m_vtrSessionInfo[ulSessionID - 1];
    if (stRecord.bActive == 0) {
        return Failed(kFn, "Check session closed", CKR_SESSION_CLOSED);
    }
    // The running digest goes at once; a search stays with the closed
    // record until close-all, which can never use it again.
    delete stRecord.pHashHandle;
    stRecord.pHashHandle = nullptr;
    stRecord.bActive = 0;
    --m_ulOpenSessionCount;
    Active();
    TraceStepSuccess(kFn, "Close session");
    return 0;
}

RESULT SessionHandle::CloseAllSession()
{
    for (_sessionInfo& stRecord : m_vtrSessionInfo) {
        ReleaseSessionRecord(stRecord);
    }
    m_vtrSessionInfo.clear();
    m_ulOpenSessionCount = 0;
    Active();
    m_bLogin = 0;
    TraceStepSuccess("CloseAllSession", "Close all sessions");
    return 0;
}

RESULT SessionHandle::GetSessionInfo(unsigned long ulSessionID, CK_FLAGS* pulFlags, bool* pbLogin)
{
    static const char* const kFn = "GetSessionInfo";
    if (pulFlags == nullptr || pbLogin == nullptr) {
        return Failed(kFn, "Check pulFlags and pbLogin", ERROR_INVALID_PARAMETER);
    }
    if (ulSessionID == 0) {
        return Failed(kFn, "Check ulSessionID(1)", CKR_SESSION_HANDLE_INVALID);
    }
    if (ulSessionID > m_vtrSessionInfo.size()) {
        return Failed(kFn, "Check ulSessionID(2)", CKR_SESSION_HANDLE_INVALID);
    }
    const _sessionInfo& stRecord = m_vtrSessionInfo[ulSessionID - 1];
    if (stRecord.bActive == 0) {
        return Failed(kFn, "Check session active", CKR_SESSION_CLOSED);
    }
    *pulFlags = stRecord.ulFlags;
    *pbLogin = m_bLogin != 0;
    Active();
    return 0;
}

unsigned long SessionHandle::GetSessionCount(CK_FLAGS ulMask) const
{
    unsigned long ulCount = 0;
    for (const _sessionInfo& stRecord : m_vtrSessionInfo) {
        if (stRecord.bActive != 0 && (stRecord.ulFlags & ulMask) == ulMask) {
            ++ulCount;
        }
    }
    return ulCount;
}

RESULT SessionHandle::Login(const unsigned char* pbyPIN, long nPINLength)
{
    static const char* const kFn = "Login";
    if (pbyPIN == nullptr) {
        return Failed(kFn, "Check pbyPIN", CKR_ARGUMENTS_BAD);
    }
    if (nPINLength <= 0) {
        return Failed(kFn, "Check nPINLength", CKR_ARGUMENTS_BAD);
    }
    if (m_pTokenHandle == nullptr) {
        return Failed(kFn, "Check m_pTokenHandle", E_FAIL);
    }
    RESULT ulResult = 0;
    if (IsPromptSentinelPIN(pbyPIN, nPINLength)) {
        if (TokenGlobalData::GetCertPinCodeStrategy() == 1) {
            const char* pszDefaultPIN = TokenGlobalData::GetDefaultPIN();
            ulResult = m_pTokenHandle->CheckPIN(pszDefaultPIN, static_cast<long>(strlen(pszDefaultPIN)));
            if (ulResult != 0) {
                return Failed(kFn, "m_pTokenHandle->CheckPIN with default Pin", ulResult);
            }
        } else {
            ulResult = m_pTokenHandle->CheckPIN(true, false);
            if (ulResult != 0) {
                return Failed(kFn, "m_pTokenHandle->CheckPIN with UI", ulResult);
            }
        }
    } else {
        ulResult = m_pTokenHandle->CheckPIN(pbyPIN, nPINLength);
        if (ulResult != 0) {
            return Failed(kFn, "m_pTokenHandle->CheckPIN with pin", ulResult);
        }
    }
    Active();
    m_bLogin = 1;
    TraceStepSuccess(kFn, "m_pTokenHandle->CheckPIN");
    return 0;
}

RESULT SessionHandle::Logout()
{
    Active();
    m_bLogin = 0;
    TraceStepSuccess("Logout", "Logout");
    return 0;
}
