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

// Checks the arguments, then runs the generator call over the whole length.
template <typename Byte, typename Call>
RESULT ServeRandom(const char* pszFunction, const char* pszDataLabel, const char* pszSizeLabel, Byte* pbyData,
                   uint64_t nLength, const char* pszCallLabel, Call call)
{
    if (pbyData == nullptr) {
        TraceStepFailed(pszFunction, pszDataLabel, ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nLength == 0) {
        TraceStepFailed(pszFunction, pszSizeLabel, ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    RESULT ulResult = InChunks(nLength, [&](uint64_t nOffset, long nPart) { return call(pbyData + nOffset, nPart); });
    if (ulResult != 0) {
        TraceStepFailed(pszFunction, pszCallLabel, ulResult);
    }
    return ulResult;
}
}  // namespace

RESULT Container::SetRandomSeed(const unsigned char* pbySeedData, uint64_t nSeedDataSize)
{
    return ServeRandom("Container::SetRandomSeed", "Check pbySeedData", "Check nSeedDataSize", pbySeedData,
                       nSeedDataSize, "Cipher::SetRandomSeed", Cipher::SetRandomSeed);
}

RESULT Container::GetRandomData(unsigned char* pbRandomData, uint64_t nRandomDataLen)
{
    return ServeRandom("Container::GetRandomData", "Check pbRandomData", "Check nRandomDataLen", pbRandomData,
                       nRandomDataLen, "Cipher::GetRandomData", Cipher::GetRandomData);
}

RESULT Container::GenRandomDataByTimeSeed(unsigned char* pbRandomData, uint64_t nRandomDataLen)
{
    return ServeRandom("Container::GenRandomDataByTimeSeed", "Check pbRandomData", "Check nRandomDataLen",
                       pbRandomData, nRandomDataLen, "Cipher::GenRandomDataByTimeSeed",
                       Cipher::GenRandomDataByTimeSeed);
}
