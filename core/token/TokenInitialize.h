// Start and stop of the token core's use of the cryptographic library.
#pragma once

#include "core/token/ResultCodes.h"

// 0, or E_FAIL when the cryptographic library cannot be set up.
RESULT TokenInitialize();
// 0, or E_FAIL when the cryptographic library cannot be released.
RESULT TokenUninitialize();
