#include "core/crypto/CipherDer.h"

#include <cstring>

namespace CipherDer {
namespace {

size_t LengthOfLength(size_t nLength)
{
    size_t nBytes = 1;
    if (nLength >= 0x80) {
        for (size_t n = nLength; n != 0; n >>= 8) {
            ++nBytes;
        }
    }
    return nBytes;
}

// Content length of the INTEGER for a magnitude: a zero byte in front when
// the top bit is set, a single zero byte for the value 0.
size_t IntegerContentSize(const unsigned char* pbyMagnitude, size_t nSize)
{
    if (nSize == 0) {
        return 1;
    }
    return nSize + ((pbyMagnitude[0] & 0x80) ? 1 : 0);
}

}  // namespace

void StripLeadingZeros(const unsigned char*& pbyData, size_t& nSize)
{
    while (nSize > 0 && *pbyData == 0) {
        ++pbyData;
        --nSize;
    }
}

bool ReadTlv(const unsigned char*& pbyCursor, const unsigned char* pbyEnd, unsigned char byTag,
             const unsigned char*& pbyContent, size_t& nContentSize)
{
    if (pbyEnd - pbyCursor < 2 || pbyCursor[0] != byTag) {
        return false;
    }
    const unsigned char byFirst = pbyCursor[1];
    const unsigned char* pbyNext = pbyCursor + 2;
    size_t nLength = 0;
    if (byFirst < 0x80) {
        nLength = byFirst;
    } else {
        const size_t nLengthBytes = byFirst & 0x7F;
        // 0x80 is BER's indefinite form; four bytes cover every int length.
        if (nLengthBytes == 0 || nLengthBytes > 4 ||
            static_cast<size_t>(pbyEnd - pbyNext) < nLengthBytes || pbyNext[0] == 0) {
            return false;
        }
        for (size_t i = 0; i < nLengthBytes; ++i) {
            nLength = (nLength << 8) | pbyNext[i];
        }
        pbyNext += nLengthBytes;
        if (nLength < 0x80) {
            return false;
        }
    }
    if (nLength > static_cast<size_t>(pbyEnd - pbyNext)) {
        return false;
    }
    pbyContent = pbyNext;
    nContentSize = nLength;
    pbyCursor = pbyNext + nLength;
    return true;
}

bool ReadUnsignedInteger(const unsigned char*& pbyCursor, const unsigned char* pbyEnd,
                         const unsigned char*& pbyMagnitude, size_t& nMagnitudeSize)
{
    const unsigned char* pbyContent = nullptr;
    size_t nSize = 0;
    if (!ReadTlv(pbyCursor, pbyEnd, kTagInteger, pbyContent, nSize) || nSize == 0) {
        return false;
    }
    if (pbyContent[0] & 0x80) {
        return false;  // negative
    }
    if (nSize > 1 && pbyContent[0] == 0 && !(pbyContent[1] & 0x80)) {
        return false;  // not minimal
    }
    StripLeadingZeros(pbyContent, nSize);
    pbyMagnitude = pbyContent;
    nMagnitudeSize = nSize;
    return true;
}

size_t ElementSize(size_t nContentSize)
{
    return 1 + LengthOfLength(nContentSize) + nContentSize;
}

unsigned char* WriteHeader(unsigned char* pbyOut, unsigned char byTag, size_t nContentSize)
{
    *pbyOut++ = byTag;
    const size_t nLengthBytes = LengthOfLength(nContentSize);
    if (nLengthBytes == 1) {
        *pbyOut++ = static_cast<unsigned char>(nContentSize);
        return pbyOut;
    }
    *pbyOut++ = static_cast<unsigned char>(0x80 | (nLengthBytes - 1));
    for (size_t i = nLengthBytes - 1; i > 0; --i) {
        *pbyOut++ = static_cast<unsigned char>(nContentSize >> (8 * (i - 1)));
    }
    return pbyOut;
}

size_t IntegerElementSize(const unsigned char* pbyValue, size_t nValueSize)
{
    StripLeadingZeros(pbyValue, nValueSize);
    return ElementSize(IntegerContentSize(pbyValue, nValueSize));
}

unsigned char* WriteInteger(unsigned char* pbyOut, const unsigned char* pbyValue, size_t nValueSize)
{
    StripLeadingZeros(pbyValue, nValueSize);
    const size_t nContent = IntegerContentSize(pbyValue, nValueSize);
    pbyOut = WriteHeader(pbyOut, kTagInteger, nContent);
    if (nContent > nValueSize) {
        *pbyOut++ = 0;
    }
    if (nValueSize != 0) {
        memcpy(pbyOut, pbyValue, nValueSize);
        pbyOut += nValueSize;
    }
    return pbyOut;
}

}  // namespace CipherDer
