// Set-up and tear-down of the cryptographic library for the core.
#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"

RESULT Cipher::CipherInitialize()
{
    // OpenSSL 3 registers its algorithms and locks internally; all the core
    // needs is its private library context.
    return CipherLibCtxCreate() ? 0 : NTE_NO_MEMORY;
}

RESULT Cipher::CipherUninitialize()
{
    CipherLibCtxFree();
    return 0;
}
