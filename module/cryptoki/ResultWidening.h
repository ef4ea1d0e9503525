// Core result codes are 32-bit; CK_RV is 64-bit. A code with bit 31 set
// (0x80090005) reaches the caller sign-extended (0xFFFFFFFF80090005), the
// small PKCS#11 values unchanged.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

constexpr CK_RV WidenResult(RESULT ulResult)
{
    return static_cast<CK_RV>(static_cast<int64_t>(static_cast<int32_t>(ulResult)));
}
