// Building the slot table from the key set folder.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/token/DeviceHandle.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenHandle.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {
const char* const kTokenFileName = ".config";

struct ArrayDelete {
    void operator()(char* p) const { delete[] p; }
};
}  // namespace

RESULT DeviceHandle::InitDevice()
{
    static const char* const kFn = "DeviceHandle::InitDevice";
    char* pszRaw = nullptr;
    RESULT ulResult = GetRealKeySetPath(&pszRaw);
    if (ulResult != 0) {
        TraceStepFailed(kFn, "GetRealKeySetPath", ulResult);
        return ulResult;
    }
    std::unique_ptr<char, ArrayDelete> pszKeySetPath(pszRaw);
    if (!IsFileOrDirectoryExist(pszKeySetPath.get())) {
        ulResult = CreateDirectories(pszKeySetPath.get());
        if (ulResult != 0) {
            TraceStepFailed(kFn, "CreateDirectories for pszRealKeySetPath", ulResult);
            return ulResult;
        }
    }

    std::vector<_fileInfo> vtrEntries;
    ulResult = EnumDirectory(pszKeySetPath.get(), vtrEntries);
    if (ulResult != 0) {
        TraceStepFailed(kFn, "EnumDirectory", ulResult);
        return ulResult;
    }

    m_vtrSlotSet.clear();
    unsigned long ulNextSlotID = 1;
    for (const _fileInfo& stEntry : vtrEntries) {
        if (!stEntry.bIsDirectory) {
            continue;
        }
        char szTokenPath[MAX_PATH_LEN] = {0};
        int n = snprintf(szTokenPath, sizeof(szTokenPath), "%s/%s", pszKeySetPath.get(), stEntry.szFileName);
        if (n <= 0 || n >= static_cast<int>(sizeof(szTokenPath))) {
            // A token whose path does not fit can never be opened.
            TraceStepFailed(kFn, "Check token path length", E_FAIL);
            continue;
        }
        if (!CheckFileOrDirectoryExistInDirectory(szTokenPath, kTokenFileName)) {
            continue;
        }
        if (m_vtrSlotSet.size() >= MAX_SLOT_COUNT) {
            TRACE(QYRA_LOG_WARN, "%s - slot table full, token folder %s skipped", kFn, stEntry.szFileName);
            continue;
        }
        _slotDesc stSlot = {};
        stSlot.ulSlotID = ulNextSlotID++;
        memcpy(stSlot.szTokenName, stEntry.szFileName, strnlen(stEntry.szFileName, MAX_PATH_LEN - 1));
        m_vtrSlotSet.push_back(stSlot);
    }

    if (m_vtrSlotSet.empty()) {
        ulResult = CreateDefaultToken(pszKeySetPath.get());
        if (ulResult != 0) {
            return ulResult;
        }
    }
    TraceStepSuccess(kFn, "InitDevice");
    return 0;
}

RESULT DeviceHandle::CreateDefaultToken(const char* pszKeySetPath)
{
    static const char* const kFn = "DeviceHandle::InitDevice";
    const char* pszDefaultName = TokenGlobalData::GetP11DefaultTokenName();
    char szDefaultTokenPath[MAX_PATH_LEN] = {0};
    int n = snprintf(szDefaultTokenPath, sizeof(szDefaultTokenPath), "%s/%s", pszKeySetPath, pszDefaultName);
    if (n <= 0 || n >= static_cast<int>(sizeof(szDefaultTokenPath))) {
        TraceStepFailed(kFn, "Check szDefaultTokenPath length", E_FAIL);
        return E_FAIL;
    }
    RESULT ulResult = CreateDirectories(szDefaultTokenPath);
    if (ulResult != 0) {
        TraceStepFailed(kFn, "CreateDirectories for szDefaultTokenPath", ulResult);
        return ulResult;
    }
    std::unique_ptr<TokenHandle> pToken(TokenHandle::CreateNewTokenHandle(1, pszDefaultName));
    if (!pToken) {
        TraceStepFailed(kFn, "CreateNewTokenHandle for DEFAULT_TOKEN_NAME", E_FAIL);
        return E_FAIL;
    }
    _slotDesc stSlot = {};
    stSlot.ulSlotID = 1;
    memcpy(stSlot.szTokenName, pszDefaultName, strnlen(pszDefaultName, MAX_PATH_LEN - 1));
    m_vtrSlotSet.push_back(stSlot);
    return 0;
}
