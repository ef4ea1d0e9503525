// Session, login and random-number entry points.
#include <cstdint>

#include "core/storage/Container.h"
#include "core/token/DeviceHandle.h"
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryCheck.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"
#include "module/cryptoki/GlobalData.h"
#include "module/sessions/SessionManager.h"

namespace {

CK_RV CheckSessionManager(const char* pszFunction, SessionManager** ppSessionManager)
{
    *ppSessionManager = GlobalData::GetGlobalSessionManager();
    return EntryCheck(pszFunction, "Check globalSessionManager", *ppSessionManager != nullptr,
                      CKR_CRYPTOKI_NOT_INITIALIZED);
}

// The random functions serve read/write sessions only.
CK_RV CheckRandomSession(const char* pszFunction, SessionManager* pSessionManager, CK_SESSION_HANDLE hSession)
{
    CK_SLOT_ID ulSlotID = 0;
    CK_FLAGS ulFlags = 0;
    bool bLogin = false;
    if (CK_RV rv = EntryCheck(pszFunction, "GetSessionInfo",
                              pSessionManager->GetSessionInfo(hSession, &ulSlotID, &ulFlags, &bLogin) == 0,
                              CKR_SESSION_HANDLE_INVALID);
        rv != CKR_OK) {
        return rv;
    }
    return EntryCheck(pszFunction, "Check session rw attribute", (ulFlags & CKF_RW_SESSION) != 0,
                      CKR_SESSION_READ_ONLY);
}

CK_STATE SessionState(CK_FLAGS ulFlags, bool bLogin)
{
    if ((ulFlags & CKF_RW_SESSION) != 0) {
        return bLogin ? CKS_RW_USER_FUNCTIONS : CKS_RW_PUBLIC_SESSION;
    }
    return bLogin ? CKS_RO_USER_FUNCTIONS : CKS_RO_PUBLIC_SESSION;
}

}  // namespace

extern "C" {

P11_EXPORT CK_RV C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication,
                               CK_NOTIFY Notify, CK_SESSION_HANDLE_PTR phSession)
{
    EntryLock lock;
    const char* const kFn = "C_OpenSession";
    if (CK_RV rv = EntryCheck(kFn, "Don't support callback notify",
                              pApplication == nullptr && Notify == nullptr, CKR_FUNCTION_FAILED);
        rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check CKF_SERIAL_SESSION flag", (flags & CKF_SERIAL_SESSION) != 0,
                              CKR_FUNCTION_FAILED);
        rv != CKR_OK) {
        return rv;
    }
    // Nowhere to put the handle: refused before a session is opened that
    // nobody could close.
    if (CK_RV rv = EntryCheck(kFn, "Check phSession", phSession != nullptr, CKR_ARGUMENTS_BAD);
        rv != CKR_OK) {
        return rv;
    }
    DeviceHandle* pDeviceHandle = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check globalDeviceHandle", pDeviceHandle != nullptr,
                              CKR_CRYPTOKI_NOT_INITIALIZED);
        rv != CKR_OK) {
        return rv;
    }
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check slotID", pDeviceHandle->bIsSlotInvalid(slotID),
                              CKR_SLOT_ID_INVALID);
        rv != CKR_OK) {
        return rv;
    }
    CK_SESSION_HANDLE hSession = 0;
    if (CK_RV rv = EntryResult(kFn, "CreateSession",
                               pSessionManager->CreateSession(slotID, flags, &hSession));
        rv != CKR_OK) {
        return rv;
    }
    *phSession = hSession;
    return CKR_OK;
}

P11_EXPORT CK_RV C_CloseSession(CK_SESSION_HANDLE hSession)
{
    EntryLock lock;
    const char* const kFn = "C_CloseSession";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    return EntryResult(kFn, "CloseSession", pSessionManager->CloseSession(hSession));
}

P11_EXPORT CK_RV C_CloseAllSessions(CK_SLOT_ID slotID)
{
    EntryLock lock;
    const char* const kFn = "C_CloseAllSessions";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    return EntryResult(kFn, "CloseSession", pSessionManager->CloseAllSession(slotID));
}

P11_EXPORT CK_RV C_GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo)
{
    EntryLock lock;
    const char* const kFn = "C_GetSessionInfo";
    // Checked before the session layer refreshes the slot's activity time.
    if (CK_RV rv = EntryCheck(kFn, "Check pInfo", pInfo != nullptr, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    CK_SLOT_ID ulSlotID = 0;
    CK_FLAGS ulFlags = 0;
    bool bLogin = false;
    if (CK_RV rv = EntryCheck(kFn, "GetSessionInfo",
                              pSessionManager->GetSessionInfo(hSession, &ulSlotID, &ulFlags, &bLogin) == 0,
                              CKR_SESSION_HANDLE_INVALID);
        rv != CKR_OK) {
        return rv;
    }
    CK_SESSION_INFO stInfo = {};
    stInfo.slotID = ulSlotID;
    stInfo.state = SessionState(ulFlags, bLogin);
    stInfo.flags = ulFlags;
    stInfo.ulDeviceError = 0;
    *pInfo = stInfo;
    return CKR_OK;
}

P11_EXPORT CK_RV C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin,
                         CK_ULONG ulPinLen)
{
    EntryLock lock;
    const char* const kFn = "C_Login";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    // There is no security officer: only the user logs in.
    if (CK_RV rv = EntryCheck(kFn, "Check userType", userType == CKU_USER, CKR_FUNCTION_FAILED);
        rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check pPin", pPin != nullptr, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check ulPinLen", ulPinLen != 0, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    // A length beyond 32 bits must not be cut into a small one that would
    // check the PIN's first bytes only; saturated, it is out of range below.
    const long nPinLen = ulPinLen > INT32_MAX ? INT32_MAX : static_cast<long>(ulPinLen);
    return EntryResult(kFn, "Login", pSessionManager->Login(hSession, pPin, nPinLen));
}

P11_EXPORT CK_RV C_Logout(CK_SESSION_HANDLE hSession)
{
    EntryLock lock;
    const char* const kFn = "C_Logout";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    return EntryResult(kFn, "Login", pSessionManager->Logout(hSession));
}

P11_EXPORT CK_RV C_SeedRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSeed, CK_ULONG ulSeedLen)
{
    EntryLock lock;
    const char* const kFn = "C_SeedRandom";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check pSeed", pSeed != nullptr, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check ulSeedLen", ulSeedLen != 0, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = CheckRandomSession(kFn, pSessionManager, hSession); rv != CKR_OK) {
        return rv;
    }
    return EntryCheck(kFn, "SetRandomSeed", Container::SetRandomSeed(pSeed, ulSeedLen) == 0,
                      CKR_FUNCTION_FAILED);
}

P11_EXPORT CK_RV C_GenerateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pRandomData, CK_ULONG ulRandomLen)
{
    EntryLock lock;
    const char* const kFn = "C_GenerateRandom";
    SessionManager* pSessionManager = nullptr;
    if (CK_RV rv = CheckSessionManager(kFn, &pSessionManager); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check RandomData", pRandomData != nullptr, CKR_ARGUMENTS_BAD);
        rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check ulRandomLen", ulRandomLen != 0, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = CheckRandomSession(kFn, pSessionManager, hSession); rv != CKR_OK) {
        return rv;
    }
    return EntryCheck(kFn, "GetRandomData", Container::GetRandomData(pRandomData, ulRandomLen) == 0,
                      CKR_FUNCTION_FAILED);
}

}  // extern "C"
