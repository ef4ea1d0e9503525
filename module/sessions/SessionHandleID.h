// Session handles as applications see them: the slot ID in bits 16 to 31,
// the session number within the slot in bits 0 to 15. Neither half indexes
// a global table; the number is unique only until the slot's close-all.
#pragma once

#include <p11-kit/pkcs11.h>

#include "core/token/ResultCodes.h"

constexpr unsigned long SESSION_SLOT_ID_MAX = 0xFFFF;
constexpr unsigned long SESSION_NUMBER_MAX = 0xFFFF;

// (slot << 16) | number. A slot or number outside 1 to 0xFFFF gives 0x3 and
// leaves *phSession untouched.
RESULT ConstructSessionHandleID(unsigned long ulSlotID, unsigned long ulSessionID,
                                CK_SESSION_HANDLE* phSession);
// The two halves of a handle; the upper 32 bits are ignored. Handle 0 gives
// 0xB3.
RESULT GetSlotAndSessionFromSessionHandleID(CK_SESSION_HANDLE hSession, unsigned long* pulSlotID,
                                            unsigned long* pulSessionID);
