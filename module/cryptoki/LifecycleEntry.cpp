// C_Initialize, C_Finalize and C_GetInfo.
#include "core/token/ResultCodes.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenInitialize.h"
#include "core/trace/QyraLog.h"
#include "module/cryptoki/EntryCheck.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"
#include "module/cryptoki/GlobalData.h"
#include "module/cryptoki/Pkcs11Text.h"

namespace {
const char* const kTraceConfigPath = "/tmp/Pkcs11DylibLog.conf";

// PKCS#11 allows an application either to supply all four mutex callbacks
// or none; pReserved must be null. CKF_OS_LOCKING_OK and the callbacks are
// both satisfied by the module's own lock.
bool IsValidInitArgs(const CK_C_INITIALIZE_ARGS* pArgs)
{
    if (pArgs->pReserved != nullptr) {
        return false;
    }
    int nCallbacks = (pArgs->CreateMutex != nullptr) + (pArgs->DestroyMutex != nullptr) +
                     (pArgs->LockMutex != nullptr) + (pArgs->UnlockMutex != nullptr);
    return nCallbacks == 0 || nCallbacks == 4;
}

void PushSettings()
{
    TokenGlobalData::SetImportCertStrategy(1);
    TokenGlobalData::SetCertPinCodeStrategy(0);
    TokenGlobalData::SetTokenLabel("QYRA P11 V3.0");
    TokenGlobalData::SetManufacturerID("QYRA Co., Ltd");
    TokenGlobalData::SetTokenModel("QYRA P11 V3.0");
    TokenGlobalData::SetDefaultPIN("908172");
    TokenGlobalData::SetP11KeySetFolderName("KeySet_Velmoray");
    TokenGlobalData::SetP11DefaultTokenName("QYRAPkcs11DefaultKey");
}
}  // namespace

extern "C" P11_EXPORT CK_RV C_Initialize(CK_VOID_PTR pInitArgs)
{
    EntryLock lock;
    const char* const kFn = "C_Initialize";
    bool bArgsValid =
        pInitArgs == nullptr || IsValidInitArgs(static_cast<const CK_C_INITIALIZE_ARGS*>(pInitArgs));
    if (CK_RV rv = EntryCheck(kFn, "Check pInitArgs", bArgsValid, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check g_DdylibReferenceCount", GlobalData::GetDylibReferenceCount() <= 0,
                              CKR_CRYPTOKI_ALREADY_INITIALIZED);
        rv != CKR_OK) {
        return rv;
    }

    // Tracing is optional: without a usable configuration the module
    // simply runs silent.
    qyra_zlog_init_with_config_name(kTraceConfigPath);
    PushSettings();

    if (CK_RV rv = EntryCheck(kFn, "TokenInitialize", TokenInitialize() == 0, CKR_FUNCTION_FAILED);
        rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryResult(kFn, "InitializeGlobalData", GlobalData::InitializeGlobalData()); rv != CKR_OK) {
        return rv;
    }
    return CKR_OK;
}

extern "C" P11_EXPORT CK_RV C_Finalize(CK_VOID_PTR pReserved)
{
    EntryLock lock;
    const char* const kFn = "C_Finalize";
    if (CK_RV rv = EntryCheck(kFn, "Check pReserved is NULL", pReserved == nullptr, CKR_ARGUMENTS_BAD);
        rv != CKR_OK) {
        return rv;
    }
    if (CK_RV rv = EntryCheck(kFn, "Check g_DdylibReferenceCount", GlobalData::GetDylibReferenceCount() > 0,
                              CKR_CRYPTOKI_NOT_INITIALIZED);
        rv != CKR_OK) {
        return rv;
    }
    // Sessions go before the cryptographic library they hold objects of.
    GlobalData::UninitializeGlobalData();
    TokenUninitialize();
    qyra_zlog_fini();
    return CKR_OK;
}

extern "C" P11_EXPORT CK_RV C_GetInfo(CK_INFO_PTR pInfo)
{
    EntryLock lock;
    const char* const kFn = "C_GetInfo";
    if (CK_RV rv = EntryCheck(kFn, "Check pInfo", pInfo != nullptr, CKR_ARGUMENTS_BAD); rv != CKR_OK) {
        return rv;
    }
    pInfo->cryptokiVersion.major = 2;
    pInfo->cryptokiVersion.minor = 20;
    SetPkcs11Text(pInfo->manufacturerID, "QYRA Co., Ltd");
    pInfo->flags = 0;
    SetPkcs11Text(pInfo->libraryDescription, "Velmoray PKCS#11 Dylib v3.2.0.1");
    pInfo->libraryVersion.major = 3;
    pInfo->libraryVersion.minor = 1;
    return CKR_OK;
}
