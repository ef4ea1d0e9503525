// The device: the slot table of the module, one slot per token folder of
// the key set folder that holds a token file.
#pragma once

#include <vector>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"

// Object handles keep only 8 bits of a slot ID and session handles 16, so
// the table never grows beyond this many slots.
constexpr unsigned long MAX_SLOT_COUNT = 255;

class DeviceHandle {
public:
    DeviceHandle();
    virtual ~DeviceHandle();
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    // Builds the slot table; creates the default token on first use.
    RESULT InitDevice();
    // The number of slots, and, when ppSlotList is not null, a copy of the
    // table (array new, released by the caller).
    RESULT GetSlotList(_slotDesc** ppSlotList, unsigned long* pnSlotListCount);
    // A copy of the slot's token folder name (array new).
    RESULT GetTokenNameBySlotID(unsigned long ulSlotID, char** ppszTokenName);
    // True when the slot exists (despite the name).
    bool bIsSlotInvalid(unsigned long ulSlotID);

    // The key set listing: tokens with their key containers and certificates.
    static RESULT GetAllKeyContext(std::vector<_KEY_CONTEXT>& vtrKeyContext);
    static RESULT ClearAllKeyContext(std::vector<_KEY_CONTEXT>& vtrKeyContext);

protected:
    // First use: the default token folder with its token file, as slot 1.
    RESULT CreateDefaultToken(const char* pszKeySetPath);

    // The slots in the order they were found; slot IDs 1, 2, 3, ...
    std::vector<_slotDesc> m_vtrSlotSet;
};
