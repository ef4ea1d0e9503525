// All sessions of all slots of the module.
#pragma once

class DeviceHandle;

class SessionManager {
public:
    // pDeviceHandle is not owned; it outlives the session manager.
    explicit SessionManager(DeviceHandle* pDeviceHandle);
    virtual ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

protected:
    DeviceHandle* m_pDeviceHandle;
};
