// Set-up and tear-down of the cryptographic library for the core.
#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"
#include "core/crypto/ThLock.h"

RESULT Cipher::CipherInitialize()
{
    // OpenSSL 3 registers its algorithms and locks internally; all the core
    // needs is its private library context.
    if (!CipherLibCtxCreate()) {
        return NTE_NO_MEMORY;
    }
    CRYPTO_thread_setup();
    return 0;
}

RESULT Cipher::CipherUninitialize()
{
    CRYPTO_thread_cleanup();
    CipherLibCtxFree();
    return 0;
}
