// Slot, token and mechanism entry points.
//
// Each slot holds one software token, always present. The token info and
// the slot info come from a token loaded from its files for the one call,
// so they show what is on disk now. Out-structures are filled in a local
// copy and written only when the whole call succeeds.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/token/DeviceHandle.h"
#include "core/token/ResultCodes.h"
#include "core/token/TokenHandle.h"
#include "module/cryptoki/EntryCheck.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"
#include "module/cryptoki/GlobalData.h"
#include "module/cryptoki/MechanismTable.h"
#include "module/cryptoki/Pkcs11Text.h"
#include "module/sessions/SessionManager.h"

namespace {

constexpr CK_ULONG kMaxSessionCount = 64;
constexpr CK_ULONG kTotalMemory = 0x100000;
constexpr CK_ULONG kMemoryPerFile = 1024;

bool Failed(CK_RV rv) { return rv != CKR_OK; }

// The token of a slot already checked, loaded for this one call.
CK_RV LoadSlotToken(const char* pszFunction, DeviceHandle* pDevice, CK_SLOT_ID slotID,
                    std::unique_ptr<TokenHandle>& pToken)
{
    char* pszTokenName = nullptr;
    RESULT ulResult = pDevice->GetTokenNameBySlotID(slotID, &pszTokenName);
    if (CK_RV rv = EntryCheck(pszFunction, "GetTokenNameBySlotID", ulResult == 0, CKR_SLOT_ID_INVALID); Failed(rv)) {
        return rv;
    }
    std::unique_ptr<char[]> pszOwnedName(pszTokenName);
    pToken.reset(TokenHandle::CreateRegisteredTokenHandle(slotID, pszTokenName));
    return EntryCheck(pszFunction, "CreateRegisteredTokenHandle", pToken != nullptr, CKR_HOST_MEMORY);
}

CK_RV CheckSlot(const char* pszFunction, DeviceHandle* pDevice, CK_SLOT_ID slotID)
{
    return EntryCheck(pszFunction, "Check slotID", pDevice->bIsSlotInvalid(slotID), CKR_SLOT_ID_INVALID);
}

// Room for more containers, without wrapping when a token file claims more
// containers than its maximum.
CK_ULONG FreeMemory(const TokenHandle& token)
{
    if (token.m_ulCurrentFileCount >= token.m_ulMaxFileCount) {
        return 0;
    }
    return static_cast<CK_ULONG>(token.m_ulMaxFileCount - token.m_ulCurrentFileCount) * kMemoryPerFile;
}

}  // namespace

extern "C" {

P11_EXPORT CK_RV C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount)
{
    EntryLock lock;
    const char* const kFn = "C_GetSlotList";
    // Every slot holds its token, so both answers are the whole list.
    (void)tokenPresent;
    if (CK_RV rv = EntryCheck(kFn, "Check pulCount", pulCount != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check g_pDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    unsigned long nCount = 0;
    if (CK_RV rv = EntryResult(kFn, "GetSlotList", pDevice->GetSlotList(nullptr, &nCount)); Failed(rv)) {
        return rv;
    }
    if (pSlotList == nullptr) {
        *pulCount = nCount;
        return CKR_OK;
    }
    if (*pulCount < nCount) {
        *pulCount = nCount;
        return EntryFail(kFn, "Check pulCount buffer", CKR_BUFFER_TOO_SMALL);
    }
    EntryPass(kFn, "Check pulCount buffer");
    if (nCount != 0) {
        _slotDesc* pSlots = nullptr;
        if (CK_RV rv = EntryResult(kFn, "GetSlotList", pDevice->GetSlotList(&pSlots, &nCount)); Failed(rv)) {
            return rv;
        }
        for (unsigned long i = 0; i < nCount; ++i) {
            pSlotList[i] = pSlots[i].ulSlotID;
        }
        delete[] pSlots;
    }
    *pulCount = nCount;
    return CKR_OK;
}

P11_EXPORT CK_RV C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo)
{
    EntryLock lock;
    const char* const kFn = "C_GetSlotInfo";
    if (CK_RV rv = EntryCheck(kFn, "Check pInfo", pInfo != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check g_pDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = CheckSlot(kFn, pDevice, slotID); Failed(rv)) {
        return rv;
    }
    std::unique_ptr<TokenHandle> pToken;
    if (CK_RV rv = LoadSlotToken(kFn, pDevice, slotID, pToken); Failed(rv)) {
        return rv;
    }

    CK_SLOT_INFO stInfo = {};
    char szDescription[sizeof(stInfo.slotDescription) + 1] = {0};
    snprintf(szDescription, sizeof(szDescription), "Slot : %lu", static_cast<unsigned long>(slotID));
    SetPkcs11Text(stInfo.slotDescription, szDescription);
    memcpy(stInfo.manufacturerID, pToken->m_byManufacturerID, sizeof(stInfo.manufacturerID));
    // A software token is always in its slot.
    stInfo.flags = CKF_TOKEN_PRESENT;
    stInfo.hardwareVersion = {3, 1};
    stInfo.firmwareVersion = {3, 1};
    *pInfo = stInfo;
    return CKR_OK;
}

P11_EXPORT CK_RV C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo)
{
    EntryLock lock;
    const char* const kFn = "C_GetTokenInfo";
    if (CK_RV rv = EntryCheck(kFn, "Check pInfo", pInfo != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check globalDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    SessionManager* pSessions = GlobalData::GetGlobalSessionManager();
    if (CK_RV rv =
            EntryCheck(kFn, "Check globalSessionManager", pSessions != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = CheckSlot(kFn, pDevice, slotID); Failed(rv)) {
        return rv;
    }
    std::unique_ptr<TokenHandle> pToken;
    if (CK_RV rv = LoadSlotToken(kFn, pDevice, slotID, pToken); Failed(rv)) {
        return rv;
    }

    CK_TOKEN_INFO stInfo = {};
    static_assert(sizeof(stInfo.label) == TOKEN_LABEL_LEN && sizeof(stInfo.manufacturerID) == TOKEN_MANUFACTURER_LEN &&
                  sizeof(stInfo.model) == TOKEN_MODEL_LEN && sizeof(stInfo.serialNumber) == TOKEN_SERIAL_LEN);
    memcpy(stInfo.label, pToken->m_byTokenLabel, sizeof(stInfo.label));
    memcpy(stInfo.manufacturerID, pToken->m_byManufacturerID, sizeof(stInfo.manufacturerID));
    memcpy(stInfo.model, pToken->m_byTokenModel, sizeof(stInfo.model));
    memcpy(stInfo.serialNumber, pToken->m_bySerialNumber, sizeof(stInfo.serialNumber));
    stInfo.flags = pToken->m_ulFlags;
    stInfo.ulMaxSessionCount = kMaxSessionCount;
    CK_ULONG ulAll = 0;
    CK_ULONG ulReadWrite = 0;
    bool bCounted = pSessions->GetSessionCount(slotID, 0, &ulAll) == 0 &&
                    pSessions->GetSessionCount(slotID, CKF_RW_SESSION, &ulReadWrite) == 0;
    if (CK_RV rv = EntryCheck(kFn, "g_pSessionManager(all)", bCounted, CKR_FUNCTION_FAILED); Failed(rv)) {
        return rv;
    }
    stInfo.ulSessionCount = ulAll;
    stInfo.ulMaxRwSessionCount = kMaxSessionCount;
    stInfo.ulRwSessionCount = ulReadWrite;
    stInfo.ulMaxPinLen = TOKEN_PIN_MAX_LEN;
    stInfo.ulMinPinLen = TOKEN_PIN_MIN_LEN;
    stInfo.ulTotalPublicMemory = kTotalMemory;
    stInfo.ulFreePublicMemory = FreeMemory(*pToken);
    stInfo.ulTotalPrivateMemory = kTotalMemory;
    stInfo.ulFreePrivateMemory = stInfo.ulFreePublicMemory;
    stInfo.hardwareVersion = {3, 1};
    stInfo.firmwareVersion = {3, 1};
    // utcTime stays 16 zero bytes: the token has no clock.
    *pInfo = stInfo;
    return CKR_OK;
}

P11_EXPORT CK_RV C_GetMechanismList(CK_SLOT_ID slotID, CK_MECHANISM_TYPE_PTR pMechanismList, CK_ULONG_PTR pulCount)
{
    EntryLock lock;
    const char* const kFn = "C_GetMechanismList";
    if (CK_RV rv = EntryCheck(kFn, "Check pulCount", pulCount != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check globalDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = CheckSlot(kFn, pDevice, slotID); Failed(rv)) {
        return rv;
    }
    if (pMechanismList == nullptr) {
        *pulCount = QYRA_PKCS11_MECHANISM_COUNT;
        return CKR_OK;
    }
    if (*pulCount < QYRA_PKCS11_MECHANISM_COUNT) {
        *pulCount = QYRA_PKCS11_MECHANISM_COUNT;
        return EntryFail(kFn, "Check *pulCount < QYRA_PKCS11_MECHANISM_COUNT", CKR_BUFFER_TOO_SMALL);
    }
    EntryPass(kFn, "Check *pulCount < QYRA_PKCS11_MECHANISM_COUNT");
    memcpy(pMechanismList, SupportMechanismSet, sizeof(SupportMechanismSet));
    *pulCount = QYRA_PKCS11_MECHANISM_COUNT;
    return CKR_OK;
}

P11_EXPORT CK_RV C_GetMechanismInfo(CK_SLOT_ID slotID, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR pInfo)
{
    EntryLock lock;
    const char* const kFn = "C_GetMechanismInfo";
    (void)type;
    (void)pInfo;
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check globalDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = CheckSlot(kFn, pDevice, slotID); Failed(rv)) {
        return rv;
    }
    return EntryFail(kFn, "Unsupport C_GetMechanismInfo function", CKR_FUNCTION_FAILED);
}

P11_EXPORT CK_RV C_InitToken(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen, CK_UTF8CHAR_PTR pLabel)
{
    EntryLock lock;
    const char* const kFn = "C_InitToken";
    if (CK_RV rv = EntryCheck(kFn, "Check pPin", pPin != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    bool bLengthFits = ulPinLen >= static_cast<CK_ULONG>(TOKEN_PIN_MIN_LEN) &&
                       ulPinLen <= static_cast<CK_ULONG>(TOKEN_PIN_MAX_LEN);
    if (CK_RV rv = EntryCheck(kFn, "Check ulPinLen", bLengthFits, CKR_PIN_LEN_RANGE); Failed(rv)) {
        return rv;
    }
    // The token layer copies 32 label bytes.
    if (CK_RV rv = EntryCheck(kFn, "Check pLabel", pLabel != nullptr, CKR_ARGUMENTS_BAD); Failed(rv)) {
        return rv;
    }
    DeviceHandle* pDevice = GlobalData::GetGlobalDeviceHandle();
    if (CK_RV rv = EntryCheck(kFn, "Check globalDeviceHandle", pDevice != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    SessionManager* pSessions = GlobalData::GetGlobalSessionManager();
    if (CK_RV rv =
            EntryCheck(kFn, "Check globalSessionManager", pSessions != nullptr, CKR_CRYPTOKI_NOT_INITIALIZED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = CheckSlot(kFn, pDevice, slotID); Failed(rv)) {
        return rv;
    }
    // Open sessions hold the token's objects and running operations; the
    // container files must not go from under them.
    CK_ULONG ulSessions = 0;
    if (CK_RV rv = EntryCheck(kFn, "g_pSessionManager(all)", pSessions->GetSessionCount(slotID, 0, &ulSessions) == 0,
                              CKR_FUNCTION_FAILED);
        Failed(rv)) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check no session open", ulSessions == 0, CKR_SESSION_EXISTS); Failed(rv)) {
        return rv;
    }
    std::unique_ptr<TokenHandle> pToken;
    if (CK_RV rv = LoadSlotToken(kFn, pDevice, slotID, pToken); Failed(rv)) {
        return rv;
    }
    RESULT ulResult = pToken->InitToken(pPin, static_cast<long>(ulPinLen), pLabel);
    return EntryCheck(kFn, "InitToken", ulResult == 0, CKR_FUNCTION_FAILED);
}

}  // extern "C"
