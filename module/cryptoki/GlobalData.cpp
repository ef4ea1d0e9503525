#include "module/cryptoki/GlobalData.h"

#include <new>

#include "core/token/DeviceHandle.h"
#include "core/trace/TraceStep.h"
#include "module/sessions/SessionManager.h"

uint8_t GlobalData::g_dylibReferenceCount = 0;
DeviceHandle* GlobalData::g_globalDeviceHandle = nullptr;
SessionManager* GlobalData::g_globalSessionManager = nullptr;

void GlobalData::DeleteAll()
{
    // Sessions first: they point at the device handle.
    delete g_globalSessionManager;
    g_globalSessionManager = nullptr;
    delete g_globalDeviceHandle;
    g_globalDeviceHandle = nullptr;
}

RESULT GlobalData::InitializeGlobalData()
{
    g_dylibReferenceCount = 1;
    DeleteAll();

    g_globalDeviceHandle = new (std::nothrow) DeviceHandle();
    if (g_globalDeviceHandle == nullptr) {
        TraceStepFailed("InitializeGlobalData", "new DeviceHandle", CKR_HOST_MEMORY);
        g_dylibReferenceCount = 0;
        return CKR_HOST_MEMORY;
    }
    RESULT ulResult = g_globalDeviceHandle->InitDevice();
    if (ulResult != 0) {
        TraceStepFailed("InitializeGlobalData", "g_pDeviceHandle InitDevice", ulResult);
        g_dylibReferenceCount = 0;
        DeleteAll();
        return ulResult;
    }
    TraceStepSuccess("InitializeGlobalData", "g_pDeviceHandle InitDevice");

    g_globalSessionManager = new (std::nothrow) SessionManager(g_globalDeviceHandle);
    if (g_globalSessionManager == nullptr) {
        TraceStepFailed("InitializeGlobalData", "new SessionManager", CKR_HOST_MEMORY);
        g_dylibReferenceCount = 0;
        DeleteAll();
        return CKR_HOST_MEMORY;
    }
    return 0;
}

RESULT GlobalData::UninitializeGlobalData()
{
    g_dylibReferenceCount = 0;
    DeleteAll();
    return 0;
}

int GlobalData::GetDylibReferenceCount() { return g_dylibReferenceCount; }

DeviceHandle* GlobalData::GetGlobalDeviceHandle() { return g_globalDeviceHandle; }

SessionManager* GlobalData::GetGlobalSessionManager() { return g_globalSessionManager; }
