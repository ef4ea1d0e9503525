// Cipher: the token core's single gateway to the cryptographic library.
// Static functions only; buffers handed out are array-new'd and released by
// the caller with array delete; on failure nothing is handed out.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

class Cipher {
public:
    Cipher() = delete;

    // ---- set-up -----------------------------------------------------------
    static RESULT CipherInitialize();
    static RESULT CipherUninitialize();

    // ---- digests, symmetric ciphers, SM4 sealing, random ------------------

    // ---- RSA ---------------------------------------------------------------

    // ---- SM2 ---------------------------------------------------------------

    // ---- certificates ------------------------------------------------------
};
