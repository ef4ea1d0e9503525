#include "core/crypto/CipherLibCtx.h"

#include <mutex>

#include <openssl/crypto.h>
#include <openssl/provider.h>

namespace {
std::mutex g_mtxLibCtx;
OSSL_LIB_CTX* g_pLibCtx = nullptr;
OSSL_PROVIDER* g_pDefault = nullptr;
OSSL_PROVIDER* g_pLegacy = nullptr;

void FreeLocked()
{
    if (g_pLegacy) OSSL_PROVIDER_unload(g_pLegacy);
    if (g_pDefault) OSSL_PROVIDER_unload(g_pDefault);
    if (g_pLibCtx) OSSL_LIB_CTX_free(g_pLibCtx);
    g_pLegacy = nullptr;
    g_pDefault = nullptr;
    g_pLibCtx = nullptr;
}

bool CreateLocked()
{
    if (g_pLibCtx != nullptr) {
        return true;
    }
    g_pLibCtx = OSSL_LIB_CTX_new();
    if (g_pLibCtx == nullptr) {
        return false;
    }
    g_pDefault = OSSL_PROVIDER_load(g_pLibCtx, "default");
    g_pLegacy = OSSL_PROVIDER_load(g_pLibCtx, "legacy");
    if (g_pDefault == nullptr || g_pLegacy == nullptr) {
        FreeLocked();
        return false;
    }
    return true;
}
}  // namespace

bool CipherLibCtxCreate()
{
    std::lock_guard<std::mutex> lock(g_mtxLibCtx);
    return CreateLocked();
}

OSSL_LIB_CTX* CipherLibCtx()
{
    std::lock_guard<std::mutex> lock(g_mtxLibCtx);
    CreateLocked();
    return g_pLibCtx;
}
