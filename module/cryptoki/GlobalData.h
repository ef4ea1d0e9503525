// Process-wide state of the module, from C_Initialize to C_Finalize.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

class DeviceHandle;
class SessionManager;

class GlobalData {
public:
    GlobalData() = delete;

    // Creates the slot table and the session manager. On failure the
    // module is left uninitialised and InitDevice's code is returned.
    static RESULT InitializeGlobalData();
    // Drops the slot table and every session.
    static RESULT UninitializeGlobalData();

    // The initialised flag (0 or 1), widened.
    static int GetDylibReferenceCount();
    // Null while the module is not initialised.
    static DeviceHandle* GetGlobalDeviceHandle();
    static SessionManager* GetGlobalSessionManager();

private:
    static void DeleteAll();

    // A flag, not a counter: a second C_Initialize is refused.
    static uint8_t g_dylibReferenceCount;
    static DeviceHandle* g_globalDeviceHandle;
    // Holds a non-owning pointer to g_globalDeviceHandle.
    static SessionManager* g_globalSessionManager;
};
