#include "core/crypto/CipherSm2Der.h"

#include "core/crypto/CipherDer.h"

namespace CipherSm2Der {
namespace {

constexpr size_t kCoordinateSize = 32;

bool ReadCoordinate(const unsigned char*& pbyCursor, const unsigned char* pbyEnd, unsigned char* pbyOut)
{
    const unsigned char* pbyMagnitude = nullptr;
    size_t nSize = 0;
    if (!CipherDer::ReadUnsignedInteger(pbyCursor, pbyEnd, pbyMagnitude, nSize) || nSize > kCoordinateSize) {
        return false;
    }
    memset(pbyOut, 0, kCoordinateSize - nSize);
    if (nSize != 0) {
        memcpy(pbyOut + kCoordinateSize - nSize, pbyMagnitude, nSize);
    }
    return true;
}

}  // namespace

bool DerToRaw(const unsigned char* pbyDer, size_t nDerSize, CipherPkey::Bytes& raw)
{
    const unsigned char* pbyCursor = pbyDer;
    const unsigned char* pbyEnd = pbyDer + nDerSize;
    const unsigned char* pbyContent = nullptr;
    size_t nContentSize = 0;
    if (pbyDer == nullptr ||
        !CipherDer::ReadTlv(pbyCursor, pbyEnd, CipherDer::kTagSequence, pbyContent, nContentSize) ||
        pbyCursor != pbyEnd) {
        return false;
    }
    const unsigned char* pbyItem = pbyContent;
    const unsigned char* pbyItemsEnd = pbyContent + nContentSize;
    unsigned char abyC1[kC1Size];
    const unsigned char* pbyC3 = nullptr;
    size_t nC3Size = 0;
    const unsigned char* pbyC2 = nullptr;
    size_t nC2Size = 0;
    if (!ReadCoordinate(pbyItem, pbyItemsEnd, abyC1) ||
        !ReadCoordinate(pbyItem, pbyItemsEnd, abyC1 + kCoordinateSize) ||
        !CipherDer::ReadTlv(pbyItem, pbyItemsEnd, CipherDer::kTagOctetString, pbyC3, nC3Size) ||
        nC3Size != kC3Size ||
        !CipherDer::ReadTlv(pbyItem, pbyItemsEnd, CipherDer::kTagOctetString, pbyC2, nC2Size) ||
        pbyItem != pbyItemsEnd || !raw.Allocate(kC1Size + kC3Size + nC2Size)) {
        return false;
    }
    memcpy(raw.Data(), abyC1, kC1Size);
    memcpy(raw.Data() + kC1Size, pbyC3, kC3Size);
    if (nC2Size != 0) {
        memcpy(raw.Data() + kC1Size + kC3Size, pbyC2, nC2Size);
    }
    return true;
}

bool RawToDer(const unsigned char* pbyC1, const unsigned char* pbyC3, const unsigned char* pbyC2, size_t nC2Size,
              CipherPkey::Bytes& der)
{
    const size_t nContent = CipherDer::IntegerElementSize(pbyC1, kCoordinateSize) +
                            CipherDer::IntegerElementSize(pbyC1 + kCoordinateSize, kCoordinateSize) +
                            CipherDer::ElementSize(kC3Size) + CipherDer::ElementSize(nC2Size);
    if (!der.Allocate(CipherDer::ElementSize(nContent))) {
        return false;
    }
    unsigned char* pbyOut = CipherDer::WriteHeader(der.Data(), CipherDer::kTagSequence, nContent);
    pbyOut = CipherDer::WriteInteger(pbyOut, pbyC1, kCoordinateSize);
    pbyOut = CipherDer::WriteInteger(pbyOut, pbyC1 + kCoordinateSize, kCoordinateSize);
    pbyOut = CipherDer::WriteHeader(pbyOut, CipherDer::kTagOctetString, kC3Size);
    memcpy(pbyOut, pbyC3, kC3Size);
    pbyOut += kC3Size;
    pbyOut = CipherDer::WriteHeader(pbyOut, CipherDer::kTagOctetString, nC2Size);
    if (nC2Size != 0) {
        memcpy(pbyOut, pbyC2, nC2Size);
    }
    return true;
}

}  // namespace CipherSm2Der
