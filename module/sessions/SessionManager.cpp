#include "module/sessions/SessionManager.h"

#include <memory>
#include <new>

#include "core/token/DeviceHandle.h"
#include "core/trace/TraceStep.h"
#include "module/sessions/SessionHandle.h"
#include "module/sessions/SessionHandleID.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

struct ArrayDelete {
    void operator()(char* p) const { delete[] p; }
};

}  // namespace

SessionManager::SessionManager(DeviceHandle* pDeviceHandle) : m_pDeviceHandle(pDeviceHandle) {}

SessionManager::~SessionManager()
{
    for (SessionHandle* pSessionHandle : m_vtrSessionHandleSet) {
        delete pSessionHandle;
    }
    m_vtrSessionHandleSet.clear();
}

RESULT SessionManager::CheckSlotID(const char* pszFunction, CK_SLOT_ID ulSlotID)
{
    if (ulSlotID == 0) {
        return Failed(pszFunction, "Check ulSlotID(1)", CKR_SLOT_ID_INVALID);
    }
    if (m_pDeviceHandle == nullptr || !m_pDeviceHandle->bIsSlotInvalid(ulSlotID)) {
        return Failed(pszFunction, "Check ulSlotID(2)", CKR_SLOT_ID_INVALID);
    }
    return 0;
}

bool SessionManager::IsSessionHandleExistBySlot(CK_SLOT_ID ulSlotID, size_t* pnIndex)
{
    if (ulSlotID == 0 || ulSlotID > SESSION_SLOT_ID_MAX) {
        TraceStepFailed("IsSessionHandleExistBySlot", "ulSlotID > 0xFFFF or <= 0", CKR_SLOT_ID_INVALID);
        return false;
    }
    for (size_t i = 0; i < m_vtrSessionHandleSet.size(); ++i) {
        if (m_vtrSessionHandleSet[i]->GetSlotID() == ulSlotID) {
            *pnIndex = i;
            return true;
        }
    }
    return false;
}

bool SessionManager::IsSessionHandleExist(CK_SESSION_HANDLE hSession, size_t* pnIndex)
{
    unsigned long ulSlotID = 0;
    unsigned long ulSessionID = 0;
    if (GetSlotAndSessionFromSessionHandleID(hSession, &ulSlotID, &ulSessionID) != 0) {
        return false;
    }
    if (m_vtrSessionHandleSet.empty()) {
        TraceStepFailed("IsSessionHandleExist", "m_vtrSessionHandleSet.size is 0",
                        CKR_SESSION_HANDLE_INVALID);
        return false;
    }
    return IsSessionHandleExistBySlot(ulSlotID, pnIndex);
}

RESULT SessionManager::CheckSessionHandleInvalid(CK_SESSION_HANDLE hSession, size_t* pnIndex)
{
    if (!IsSessionHandleExist(hSession, pnIndex)) {
        return Failed("CheckSessionHandleInvalid", "IsSessionHandleExist", CKR_SESSION_HANDLE_INVALID);
    }
    return m_vtrSessionHandleSet[*pnIndex]->CheckSessionInvalid(hSession & 0xFFFF);
}

RESULT SessionManager::CreateSession(CK_SLOT_ID ulSlotID, CK_FLAGS ulFlags, CK_SESSION_HANDLE* phSession)
{
    static const char* const kFn = "CreateSession";
    if (phSession == nullptr) {
        return Failed(kFn, "Check phSession", ERROR_INVALID_PARAMETER);
    }
    if (RESULT ulResult = CheckSlotID(kFn, ulSlotID); ulResult != 0) {
        return ulResult;
    }

    size_t nIndex = 0;
    if (!IsSessionHandleExistBySlot(ulSlotID, &nIndex)) {
        char* pszRawName = nullptr;
        if (m_pDeviceHandle->GetTokenNameBySlotID(ulSlotID, &pszRawName) != 0) {
            return Failed(kFn, "GetTokenNameBySlotID", CKR_SLOT_ID_INVALID);
        }
        std::unique_ptr<char, ArrayDelete> pszTokenName(pszRawName);
        std::unique_ptr<SessionHandle> pSessionHandle(
            new (std::nothrow) SessionHandle(ulSlotID, pszTokenName.get()));
        // A slot whose token does not load gets no SessionHandle at all.
        if (!pSessionHandle || pSessionHandle->GetTokenHandle() == nullptr) {
            return Failed(kFn, "new SessionHandle", CKR_HOST_MEMORY);
        }
        m_vtrSessionHandleSet.push_back(pSessionHandle.release());
        nIndex = m_vtrSessionHandleSet.size() - 1;
        TraceStepSuccess(kFn, "new SessionHandle");
    }
    SessionHandle* pSessionHandle = m_vtrSessionHandleSet[nIndex];

    unsigned long ulSessionID = 0;
    if (RESULT ulResult = pSessionHandle->CreateSession(ulFlags, &ulSessionID); ulResult != 0) {
        return Failed(kFn, "SessionHandle::CreateSession", ulResult);
    }
    CK_SESSION_HANDLE hSession = 0;
    if (RESULT ulResult = ConstructSessionHandleID(ulSlotID, ulSessionID, &hSession); ulResult != 0) {
        // The number cannot be handed out: the record must not linger as
        // an open session nobody can close.
        pSessionHandle->TakeBackSession(ulSessionID);
        return Failed(kFn, "ConstructSessionHandleID", ulResult);
    }
    *phSession = hSession;
    TraceStepSuccess(kFn, "ConstructSessionHandleID");
    return 0;
}

RESULT SessionManager::CloseSession(CK_SESSION_HANDLE hSession)
{
    static const char* const kFn = "CloseSession";
    unsigned long ulSlotID = 0;
    unsigned long ulSessionID = 0;
    if (RESULT ulResult = GetSlotAndSessionFromSessionHandleID(hSession, &ulSlotID, &ulSessionID);
        ulResult != 0) {
        return Failed(kFn, "Check ulSessionHandleID", ulResult);
    }
    size_t nIndex = 0;
    if (!IsSessionHandleExist(hSession, &nIndex)) {
        return Failed(kFn, "IsSessionHandleExist", CKR_SESSION_HANDLE_INVALID);
    }
    if (RESULT ulResult = m_vtrSessionHandleSet[nIndex]->CloseSession(ulSessionID); ulResult != 0) {
        return Failed(kFn, "SessionHandle::CloseSession", ulResult);
    }
    TraceStepSuccess(kFn, "SessionHandle::CloseSession");
    return 0;
}

RESULT SessionManager::CloseAllSession(CK_SLOT_ID ulSlotID)
{
    static const char* const kFn = "CloseAllSession";
    if (RESULT ulResult = CheckSlotID(kFn, ulSlotID); ulResult != 0) {
        return ulResult;
    }
    size_t nIndex = 0;
    if (!IsSessionHandleExistBySlot(ulSlotID, &nIndex)) {
        return Failed(kFn, "IsSessionHandleExistBySlot", CKR_SLOT_ID_INVALID);
    }
    RESULT ulResult = m_vtrSessionHandleSet[nIndex]->CloseAllSession();
    if (ulResult != 0) {
        return Failed(kFn, "SessionHandle::CloseAllSession", ulResult);
    }
    TraceStepSuccess(kFn, "SessionHandle::CloseAllSession");
    return 0;
}

RESULT SessionManager::GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SLOT_ID* pulSlotID, CK_FLAGS* pulFlags,
                                      bool* pbLogin)
{
    static const char* const kFn = "GetSessionInfo";
    if (pulSlotID == nullptr || pulFlags == nullptr || pbLogin == nullptr) {
        return Failed(kFn, "Check pulSlotID, pulFlags and pbLogin", ERROR_INVALID_PARAMETER);
    }
    size_t nIndex = 0;
    if (CheckSessionHandleInvalid(hSession, &nIndex) != 0) {
        return Failed(kFn, "IsSessionHandleExist", CKR_SESSION_HANDLE_INVALID);
    }
    CK_FLAGS ulFlags = 0;
    bool bLogin = false;
    if (m_vtrSessionHandleSet[nIndex]->GetSessionInfo(hSession & 0xFFFF, &ulFlags, &bLogin) != 0) {
        return Failed(kFn, "SessionHandle::GetSessionInfo", CKR_SESSION_HANDLE_INVALID);
    }
    *pulSlotID = (hSession >> 16) & 0xFFFF;
    *pulFlags = ulFlags;
    *pbLogin = bLogin;
    TraceStepSuccess(kFn, "SessionHandle::GetSessionInfo");
    return 0;
}

RESULT SessionManager::GetSessionCount(CK_SLOT_ID ulSlotID, CK_FLAGS ulMask, CK_ULONG* pulCount)
{
    static const char* const kFn = "GetSessionCount";
    if (pulCount == nullptr) {
        return Failed(kFn, "Check pulCount", ERROR_INVALID_PARAMETER);
    }
    if (RESULT ulResult = CheckSlotID(kFn, ulSlotID); ulResult != 0) {
        return ulResult;
    }
    size_t nIndex = 0;
    *pulCount = IsSessionHandleExistBySlot(ulSlotID, &nIndex)
                    ? m_vtrSessionHandleSet[nIndex]->GetSessionCount(ulMask)
                    : 0;
    return 0;
}

RESULT SessionManager::Login(CK_SESSION_HANDLE hSession, const unsigned char* pbyUserPIN, long nUserPINLength)
{
    static const char* const kFn = "Login";
    if (pbyUserPIN == nullptr) {
        return Failed(kFn, "Check pbyUserPIN", CKR_ARGUMENTS_BAD);
    }
    if (nUserPINLength <= 0) {
        return Failed(kFn, "Check nUserPINLength", CKR_ARGUMENTS_BAD);
    }
    size_t nIndex = 0;
    if (RESULT ulResult = CheckSessionHandleInvalid(hSession, &nIndex); ulResult != 0) {
        return Failed(kFn, "CheckSessionHandleInvalid", ulResult);
    }
    if (RESULT ulResult = m_vtrSessionHandleSet[nIndex]->Login(pbyUserPIN, nUserPINLength); ulResult != 0) {
        return Failed(kFn, "SessionHandle::Login", ulResult);
    }
    TraceStepSuccess(kFn, "SessionHandle::Login");
    return 0;
}

RESULT SessionManager::Logout(CK_SESSION_HANDLE hSession)
{
    static const char* const kFn = "Logout";
    size_t nIndex = 0;
    if (RESULT ulResult = CheckSessionHandleInvalid(hSession, &nIndex); ulResult != 0) {
        return Failed(kFn, "CheckSessionHandleInvalid", ulResult);
    }
    SessionHandle* pSessionHandle = m_vtrSessionHandleSet[nIndex];
    if (!pSessionHandle->IsLogin()) {
        return Failed(kFn, "Check user login", CKR_USER_NOT_LOGGED_IN);
    }
    RESULT ulResult = pSessionHandle->Logout();
    if (ulResult != 0) {
        return Failed(kFn, "SessionHandle::Logout", ulResult);
    }
    TraceStepSuccess(kFn, "SessionHandle::Logout");
    return 0;
}

TokenHandle* SessionManager::GetTokenHandleBySessionHandleID(CK_SESSION_HANDLE hSession)
{
    size_t nIndex = 0;
    if (CheckSessionHandleInvalid(hSession, &nIndex) != 0) {
        TraceStepFailed("GetTokenHandleBySessionHandleID", "CheckSessionHandleInvalid",
                        CKR_SESSION_HANDLE_INVALID);
        return nullptr;
    }
    return m_vtrSessionHandleSet[nIndex]->GetTokenHandle();
}
