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
    // The library context stays for the life of the process. OpenSSL keeps
    // per-thread state (the generators each thread drew from) tied to the
    // context and releases it when those threads end; freeing the context
    // at C_Finalize would make a host's threads crash as they exit. A later
    // CipherInitialize takes the same context up again.
    CRYPTO_thread_cleanup();
    return 0;
}
