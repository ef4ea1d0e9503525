#include "core/token/DeviceHandle.h"

#include <cstdio>
#include <cstring>

#include "core/trace/TraceStep.h"

DeviceHandle::DeviceHandle() = default;

DeviceHandle::~DeviceHandle() = default;

RESULT DeviceHandle::GetSlotList(_slotDesc** ppSlotList, unsigned long* pnSlotListCount)
{
    static const char* const kFn = "DeviceHandle::GetSlotList";
    if (pnSlotListCount == nullptr) {
        TraceStepFailed(kFn, "Check pnSlotListCount", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    *pnSlotListCount = m_vtrSlotSet.size();
    if (ppSlotList == nullptr) {
        return 0;
    }
    if (m_vtrSlotSet.empty()) {
        TraceStepFailed(kFn, "Check buffer size", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    _slotDesc* pList = new _slotDesc[m_vtrSlotSet.size()]();
    for (size_t i = 0; i < m_vtrSlotSet.size(); ++i) {
        pList[i].ulSlotID = m_vtrSlotSet[i].ulSlotID;
        memcpy(pList[i].szTokenName, m_vtrSlotSet[i].szTokenName, MAX_PATH_LEN - 1);
    }
    *ppSlotList = pList;
    return 0;
}

RESULT DeviceHandle::GetTokenNameBySlotID(unsigned long ulSlotID, char** ppszTokenName)
{
    static const char* const kFn = "DeviceHandle::GetTokenNameBySlotID";
    if (ppszTokenName == nullptr) {
        TraceStepFailed(kFn, "Check ppszTokenName", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ulSlotID == 0) {
        TraceStepFailed(kFn, "Check ulSlotID", CKR_SLOT_ID_INVALID);
        return CKR_SLOT_ID_INVALID;
    }
    if (m_vtrSlotSet.empty()) {
        TraceStepFailed(kFn, "Check m_vtrSlotSet.size", E_FAIL);
        return E_FAIL;
    }
    for (const _slotDesc& stSlot : m_vtrSlotSet) {
        if (stSlot.ulSlotID == ulSlotID) {
            char* pszName = new char[MAX_PATH_LEN]();
            memcpy(pszName, stSlot.szTokenName, MAX_PATH_LEN - 1);
            *ppszTokenName = pszName;
            return 0;
        }
    }
    TraceStepFailed(kFn, "Check find slot", E_FAIL);
    return E_FAIL;
}

bool DeviceHandle::bIsSlotInvalid(unsigned long ulSlotID)
{
    if (ulSlotID == 0) {
        return false;
    }
    for (const _slotDesc& stSlot : m_vtrSlotSet) {
        if (stSlot.ulSlotID == ulSlotID) {
            return true;
        }
    }
    return false;
}
