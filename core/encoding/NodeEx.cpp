#include "core/encoding/NodeEx.h"

#include <climits>
#include <cstring>
#include <new>

#include "core/encoding/NodeExLength.h"
#include "core/trace/TraceStep.h"

namespace {

int SaturateToInt(uint64_t nValue)
{
    return nValue > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(nValue);
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

} // namespace

uint64_t ASN1LengthOctetCount(uint64_t nLength)
{
    if (nLength < 0x80) {
        return 1;
    }
    uint64_t nBytes = 0;
    while (nLength != 0) {
        ++nBytes;
        nLength >>= 8;
    }
    return 1 + nBytes;
}

uint64_t ASN1WriteLength(uint64_t nLength, unsigned char* pbyOut)
{
    const uint64_t nCount = ASN1LengthOctetCount(nLength);
    if (nCount == 1) {
        pbyOut[0] = static_cast<unsigned char>(nLength);
        return 1;
    }
    pbyOut[0] = static_cast<unsigned char>(0x80 + (nCount - 1));
    for (uint64_t i = nCount - 1; i >= 1; --i) {
        pbyOut[i] = static_cast<unsigned char>(nLength & 0xFF);
        nLength >>= 8;
    }
    return nCount;
}

NodeEx::NodeEx(unsigned char byTag) : tag(byTag) {}

NodeEx::~NodeEx()
{
    delete[] ownedValue;
    for (NodeEx* pChild : children) {
        delete pChild;
    }
}

RESULT NodeEx::SetValue(const unsigned char* pbyValue, uint64_t nValueSize)
{
    if ((pbyValue == nullptr && nValueSize != 0) || !children.empty() || parent != nullptr) {
        TraceStepFailed("NodeEx::SetValue", "Check parameter", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nValueSize > ASN1_MAX_DATA_SIZE) {
        TraceStepFailed("NodeEx::SetValue", "Check ASN.1 data size", ASN1_E_DATA_SIZE);
        return ASN1_E_DATA_SIZE;
    }
    unsigned char* pbyCopy = nullptr;
    if (nValueSize != 0) {
        pbyCopy = new (std::nothrow) unsigned char[nValueSize];
        if (pbyCopy == nullptr) {
            TraceStepFailed("NodeEx::SetValue", "new value", CKR_HOST_MEMORY);
            return CKR_HOST_MEMORY;
        }
        memcpy(pbyCopy, pbyValue, nValueSize);
    }
    delete[] ownedValue;
    ownedValue = pbyCopy;
    valueLength = nValueSize;
    currentLength = nValueSize;
    lengthOctets = ASN1LengthOctetCount(nValueSize);
    totalSize = 1 + lengthOctets + nValueSize;
    return 0;
}

void NodeEx::AddChild(NodeEx* pChild)
{
    // A node holds either a value or children; its length counts one of them.
    if (pChild == nullptr || pChild->parent != nullptr || ownedValue != nullptr) {
        return;
    }
    for (const NodeEx* pAncestor = this; pAncestor != nullptr; pAncestor = pAncestor->parent) {
        if (pAncestor == pChild) {
            return;
        }
    }
    try {
        children.push_back(pChild);
    } catch (const std::bad_alloc&) {
        TraceStepFailed("NodeEx::AddChild", "push_back", CKR_HOST_MEMORY);
        return;
    }
    pChild->parent = this;
    const uint64_t nChildHeader = 1 + ASN1LengthOctetCount(pChild->valueLength);
    valueLength = SaturatingAdd(valueLength, SaturatingAdd(nChildHeader, pChild->valueLength));
    currentLength =
        SaturatingAdd(currentLength, SaturatingAdd(nChildHeader, pChild->currentLength));
    lengthOctets = ASN1LengthOctetCount(valueLength);
    totalSize = SaturatingAdd(1 + lengthOctets, valueLength);
}

int NodeEx::GetTotalRequiredSize() const
{
    return SaturateToInt(SaturatingAdd(1 + ASN1LengthOctetCount(valueLength), valueLength));
}

int NodeEx::GetCurrentRequiredLength() const
{
    return SaturateToInt(SaturatingAdd(1 + ASN1LengthOctetCount(valueLength), currentLength));
}

const unsigned char* NodeEx::GetValue() const
{
    if (ownedValue != nullptr) {
        return ownedValue;
    }
    if (data != nullptr) {
        return data + valueOffset;
    }
    return nullptr;
}

int EncodeASN1Length(int64_t nLength, unsigned char** ppbyOut)
{
    unsigned char abyOctets[9] = {0};
    int nCount = 1;
    if (nLength < 0) {
        abyOctets[0] = static_cast<unsigned char>(nLength & 0xFF);
    } else {
        nCount = static_cast<int>(ASN1WriteLength(static_cast<uint64_t>(nLength), abyOctets));
    }
    if (ppbyOut != nullptr) {
        unsigned char* pbyOut = new (std::nothrow) unsigned char[nCount];
        if (pbyOut == nullptr) {
            TraceStepFailed("EncodeASN1Length", "new length octets", CKR_HOST_MEMORY);
            return 0;
        }
        memcpy(pbyOut, abyOctets, nCount);
        *ppbyOut = pbyOut;
    }
    return nCount;
}

RESULT ASN1Encode(unsigned char byTag, const unsigned char* pbyValue, int nLength,
                  unsigned char** ppbyOut, int* pnOutLength)
{
    if (ppbyOut == nullptr || pnOutLength == nullptr || nLength < 0 ||
        (pbyValue == nullptr && nLength != 0)) {
        TraceStepFailed("ASN1Encode", "Check parameter", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const uint64_t nOctets = ASN1LengthOctetCount(static_cast<uint64_t>(nLength));
    if (static_cast<uint64_t>(nLength) + nOctets > 0x7FFFFFFE) {
        TraceStepFailed("ASN1Encode", "Check buffer size", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const uint64_t nTotal = 1 + nOctets + static_cast<uint64_t>(nLength);
    unsigned char* pbyOut = new (std::nothrow) unsigned char[nTotal]();
    if (pbyOut == nullptr) {
        TraceStepFailed("ASN1Encode", "new buffer", CKR_HOST_MEMORY);
        return CKR_HOST_MEMORY;
    }
    pbyOut[0] = byTag;
    ASN1WriteLength(static_cast<uint64_t>(nLength), pbyOut + 1);
    if (nLength != 0) {
        memcpy(pbyOut + 1 + nOctets, pbyValue, static_cast<size_t>(nLength));
    }
    *ppbyOut = pbyOut;
    *pnOutLength = static_cast<int>(nTotal);
    return 0;
}

void PrintNodeEx(const NodeEx*) {}
