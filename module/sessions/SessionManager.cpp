#include "module/sessions/SessionManager.h"

SessionManager::SessionManager(DeviceHandle* pDeviceHandle) : m_pDeviceHandle(pDeviceHandle) {}

SessionManager::~SessionManager() = default;
