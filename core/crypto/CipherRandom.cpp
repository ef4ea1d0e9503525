// Random bytes from the generator of the private library context.
#include <cstdint>
#include <ctime>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"
#include "core/crypto/CipherSteps.h"

namespace {
// The context's primary generator; its children (the one RAND_bytes_ex
// draws from) reseed from it.
EVP_RAND_CTX* PrimaryGenerator()
{
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    return pLibCtx == nullptr ? nullptr : RAND_get0_primary(pLibCtx);
}

// Mixes bytes into the pool as additional input, claiming no entropy for
// them (RAND_seed does the same on the default context).
bool MixIntoPool(const void* pSeed, size_t nSeedLen)
{
    EVP_RAND_CTX* pPrimary = PrimaryGenerator();
    return pPrimary != nullptr &&
           EVP_RAND_reseed(pPrimary, 0, nullptr, 0, static_cast<const unsigned char*>(pSeed),
                           nSeedLen) == 1;
}

bool PoolReady()
{
    EVP_RAND_CTX* pPrimary = PrimaryGenerator();
    return pPrimary != nullptr && EVP_RAND_get_state(pPrimary) == EVP_RAND_STATE_READY;
}

RESULT FillFromPool(const char* pszFn, uint8_t* pbRandomData, long nRandomDataLen)
{
    if (!PoolReady()) {
        return CipherStepFailed(pszFn, "RAND_status", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(pszFn, "RAND_status");
    if (RAND_bytes_ex(CipherLibCtx(), pbRandomData, static_cast<size_t>(nRandomDataLen), 0) != 1) {
        return CipherStepFailed(pszFn, "RAND_bytes", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(pszFn, "RAND_bytes");
    return 0;
}

RESULT CheckRequest(const char* pszFn, const uint8_t* pbRandomData, long nRandomDataLen)
{
    if (pbRandomData == nullptr) {
        return CipherStepFailed(pszFn, "Check pbRandomData", ERROR_INVALID_PARAMETER);
    }
    if (nRandomDataLen <= 0 || !CipherFitsInt(nRandomDataLen)) {
        return CipherStepFailed(pszFn, "Check nRandomDataLen", ERROR_INVALID_PARAMETER);
    }
    return 0;
}
}  // namespace

RESULT Cipher::GenRandomDataByTimeSeed(uint8_t* pbRandomData, long nRandomDataLen)
{
    static const char* const kFn = "Cipher::GenRandomDataByTimeSeed";
    RESULT ulResult = CheckRequest(kFn, pbRandomData, nRandomDataLen);
    if (ulResult != 0) {
        return ulResult;
    }
    const int64_t llNow = static_cast<int64_t>(time(nullptr));
    if (!MixIntoPool(&llNow, sizeof(llNow))) {
        return CipherStepFailed(kFn, "RAND_seed", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "RAND_seed");
    return FillFromPool(kFn, pbRandomData, nRandomDataLen);
}

RESULT Cipher::SetRandomSeed(const uint8_t* pbySeedData, long nSeedDataSize)
{
    static const char* const kFn = "Cipher::SetRandomSeed";
    if (pbySeedData == nullptr) {
        return CipherStepFailed(kFn, "Check pbySeedData", ERROR_INVALID_PARAMETER);
    }
    if (nSeedDataSize <= 0 || !CipherFitsInt(nSeedDataSize)) {
        return CipherStepFailed(kFn, "Check nSeedDataSize", ERROR_INVALID_PARAMETER);
    }
    if (!MixIntoPool(pbySeedData, static_cast<size_t>(nSeedDataSize))) {
        return CipherStepFailed(kFn, "RAND_seed", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "RAND_seed");
    if (!PoolReady()) {
        return CipherStepFailed(kFn, "RAND_status", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "RAND_status");
    return 0;
}

RESULT Cipher::GetRandomData(uint8_t* pbRandomData, long nRandomDataLen)
{
    static const char* const kFn = "Cipher::GetRandomData";
    RESULT ulResult = CheckRequest(kFn, pbRandomData, nRandomDataLen);
    if (ulResult != 0) {
        return ulResult;
    }
    return FillFromPool(kFn, pbRandomData, nRandomDataLen);
}
