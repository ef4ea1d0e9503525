#include "core/crypto/CipherRsaDer.h"

#include <climits>

#include "core/crypto/CipherDer.h"

namespace CipherRsaDer {
namespace {

bool ReadPart(const unsigned char*& pbyCursor, const unsigned char* pbyEnd, Span& part)
{
    return CipherDer::ReadUnsignedInteger(pbyCursor, pbyEnd, part.pbyData, part.nSize);
}

template <size_t N>
bool ParseSequence(const unsigned char* pbyDer, size_t nDerSize, bool bVersion, Span (&aParts)[N])
{
    if (pbyDer == nullptr) {
        return false;
    }
    const unsigned char* pbyCursor = pbyDer;
    const unsigned char* pbyEnd = pbyDer + nDerSize;
    const unsigned char* pbyContent = nullptr;
    size_t nContentSize = 0;
    if (!CipherDer::ReadTlv(pbyCursor, pbyEnd, CipherDer::kTagSequence, pbyContent, nContentSize) ||
        pbyCursor != pbyEnd) {
        return false;
    }
    const unsigned char* pbyItem = pbyContent;
    const unsigned char* pbyItemsEnd = pbyContent + nContentSize;
    if (bVersion) {
        // Version 0 only: version 1 carries further primes that no other
        // part of the token keeps.
        Span version;
        if (!ReadPart(pbyItem, pbyItemsEnd, version) || version.nSize != 0) {
            return false;
        }
    }
    for (Span& part : aParts) {
        if (!ReadPart(pbyItem, pbyItemsEnd, part)) {
            return false;
        }
    }
    return pbyItem == pbyItemsEnd;
}

template <size_t N>
bool EncodeSequence(const Span (&aParts)[N], bool bVersion, CipherPkey::Bytes& der)
{
    const unsigned char byZero = 0;
    size_t nContent = bVersion ? CipherDer::IntegerElementSize(&byZero, 0) : 0;
    for (const Span& part : aParts) {
        if (part.nSize > static_cast<size_t>(INT_MAX) || nContent > static_cast<size_t>(INT_MAX)) {
            return false;
        }
        nContent += CipherDer::IntegerElementSize(part.pbyData, part.nSize);
    }
    if (nContent > static_cast<size_t>(INT_MAX) - 8) {
        return false;
    }
    const size_t nTotal = CipherDer::ElementSize(nContent);
    if (nTotal > static_cast<size_t>(INT_MAX) || !der.Allocate(nTotal)) {
        return false;
    }
    unsigned char* pbyOut = CipherDer::WriteHeader(der.Data(), CipherDer::kTagSequence, nContent);
    if (bVersion) {
        pbyOut = CipherDer::WriteInteger(pbyOut, &byZero, 0);
    }
    for (const Span& part : aParts) {
        pbyOut = CipherDer::WriteInteger(pbyOut, part.pbyData, part.nSize);
    }
    return true;
}

}  // namespace

Span Magnitude(const unsigned char* pbyData, size_t nSize)
{
    CipherDer::StripLeadingZeros(pbyData, nSize);
    Span part;
    part.pbyData = nSize > 0 ? pbyData : nullptr;
    part.nSize = nSize;
    return part;
}

bool ParsePublicKey(const unsigned char* pbyDer, size_t nDerSize, Span (&aParts)[kPublicCount])
{
    return ParseSequence(pbyDer, nDerSize, false, aParts);
}

bool ParsePrivateKey(const unsigned char* pbyDer, size_t nDerSize, Span (&aParts)[kPrivateCount])
{
    return ParseSequence(pbyDer, nDerSize, true, aParts);
}

bool EncodePublicKey(const Span (&aParts)[kPublicCount], CipherPkey::Bytes& der)
{
    return EncodeSequence(aParts, false, der);
}

bool EncodePrivateKey(const Span (&aParts)[kPrivateCount], CipherPkey::Bytes& der)
{
    return EncodeSequence(aParts, true, der);
}

}  // namespace CipherRsaDer
