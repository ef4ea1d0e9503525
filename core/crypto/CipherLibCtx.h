// The private OpenSSL library context of Cipher. Every algorithm is fetched
// from it, so the host program's default context is never touched.
// Internal to core/crypto: nothing outside Cipher includes this.
#pragma once

#include <openssl/types.h>

// Creates the context with the "default" and "legacy" providers (single DES
// and RC4 live in "legacy"). Idempotent; returns false when it cannot.
bool CipherLibCtxCreate();
// The context, created on first use; null only if creation failed.
OSSL_LIB_CTX* CipherLibCtx();
