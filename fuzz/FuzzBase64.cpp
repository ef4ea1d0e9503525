// Arbitrary text through the Base64 decoder. Whatever decodes must fit the
// block handed out, and encoding the result and decoding that again must
// give the same bytes back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/encoding/Base64.h"

namespace {
void Check(bool bHolds)
{
    if (!bHolds) {
        abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbyData, size_t nSize)
{
    if (nSize > 1 << 20) {
        return 0;
    }
    // An exact-size copy, so any read past the text is caught.
    std::vector<unsigned char> vtrText(pbyData, pbyData + nSize);
    unsigned char* pbyOut = nullptr;
    int nOutLen = -1;
    RESULT ulResult = Base64DecodeEx(vtrText.data(), static_cast<int>(nSize), &pbyOut, nOutLen);
    if (ulResult != 0) {
        Check(pbyOut == nullptr);
        return 0;
    }
    Check(pbyOut != nullptr);
    Check(nOutLen >= 0 && static_cast<size_t>(nOutLen) <= nSize);

    for (int nFlags = 0; nFlags <= (BASE64_FLAG_NOPAD | BASE64_FLAG_NOCRLF); ++nFlags) {
        unsigned char* pbyText = nullptr;
        int nTextLen = 0;
        Check(Base64EncodeEx(pbyOut, nOutLen, &pbyText, nTextLen, nFlags) == 0);
        Check(nTextLen >= 0 && nTextLen <= Base64EncodeGetRequiredLength(nOutLen, nFlags));
        if (nTextLen > 0) {
            unsigned char* pbyBack = nullptr;
            int nBackLen = -1;
            Check(Base64DecodeEx(pbyText, nTextLen, &pbyBack, nBackLen) == 0);
            Check(nBackLen == nOutLen);
            Check(memcmp(pbyBack, pbyOut, static_cast<size_t>(nOutLen)) == 0);
            delete[] pbyBack;
        } else {
            Check(nOutLen == 0);
        }
        delete[] pbyText;
    }
    delete[] pbyOut;
    return 0;
}
