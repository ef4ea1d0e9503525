// The container layer's random source, over the library's generator.
#include <algorithm>

#include "core/crypto/Cipher.h"
#include "core/storage/Container.h"
#include "core/trace/TraceStep.h"

namespace {
// The generator takes int lengths; larger requests go in chunks of this.
constexpr uint64_t kChunk = 1u << 20;

template <typename Fn>
RESULT InChunks(uint64_t nLength, Fn fn)
{
    for (uint64_t nDone = 0; nDone < nLength;) {
        uint64_t nPart = std::min(kChunk, nLength - nDone);
        RESULT ulResult = fn(nDone, static_cast<long>(nPart));
        if (ulResult != 0) {
            return ulResult;
        }
        nDone += nPart;
    }
    return 0;
}
}  // namespace

RESULT Container::SetRandomSeed(const unsigned char* pbySeedData, uint64_t nSeedDataSize)
{
    static const char* const kFn = "Container::SetRandomSeed";
    if (pbySeedData == nullptr) {
        TraceStepFailed(kFn, "Check pbySeedData", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nSeedDataSize == 0) {
        TraceStepFailed(kFn, "Check nSeedDataSize", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    RESULT ulResult = InChunks(nSeedDataSize, [&](uint64_t nOffset, long nPart) {
        return Cipher::SetRandomSeed(pbySeedData + nOffset, nPart);
    });
    if (ulResult != 0) {
        TraceStepFailed(kFn, "Cipher::SetRandomSeed", ulResult);
    }
    return ulResult;
}

RESULT Container::GetRandomData(unsigned char* pbRandomData, uint64_t nRandomDataLen)
{
    static const char* const kFn = "Container::GetRandomData";
    if (pbRandomData == nullptr) {
        TraceStepFailed(kFn, "Check pbRandomData", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nRandomDataLen == 0) {
        TraceStepFailed(kFn, "Check nRandomDataLen", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    RESULT ulResult = InChunks(nRandomDataLen, [&](uint64_t nOffset, long nPart) {
        return Cipher::GetRandomData(pbRandomData + nOffset, nPart);
    });
    if (ulResult != 0) {
        TraceStepFailed(kFn, "Cipher::GetRandomData", ulResult);
    }
    return ulResult;
}

RESULT Container::GenRandomDataByTimeSeed(unsigned char* pbRandomData, uint64_t nRandomDataLen)
{
    static const char* const kFn = "Container::GenRandomDataByTimeSeed";
    if (pbRandomData == nullptr) {
        TraceStepFailed(kFn, "Check pbRandomData", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nRandomDataLen == 0) {
        TraceStepFailed(kFn, "Check nRandomDataLen", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    return InChunks(nRandomDataLen, [&](uint64_t nOffset, long nPart) {
        return Cipher::GenRandomDataByTimeSeed(pbRandomData + nOffset, nPart);
    });
}
