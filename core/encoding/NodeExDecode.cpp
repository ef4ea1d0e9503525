// Decoding DER from memory or a file into a node tree.
//
// The input comes from files and applications, so every length is checked
// against the bytes that remain (within the enclosing value) before anything
// is read, the indefinite form and non-minimal lengths are refused (DER has
// neither; the first would put the end-of-contents octets into values, the
// second would not write back as read), and the node count bounds
// both the work and the recursion depth. The decoder writes no trace lines.
#include <sys/types.h>

#include <climits>
#include <new>

#include "core/encoding/NodeEx.h"
#include "core/encoding/NodeExLength.h"

namespace {

// Lengths of more octets than this cannot stay within ASN1_MAX_DATA_SIZE.
constexpr uint64_t kMaxLengthOctets = 4;

struct Source {
    const unsigned char* pbyData;
    FILE* pFile;
    uint64_t nSize;
};

bool ReadByte(const Source& source, uint64_t nPosition, unsigned char* pbyOut)
{
    if (nPosition >= source.nSize) {
        return false;
    }
    if (source.pbyData != nullptr) {
        *pbyOut = source.pbyData[nPosition];
        return true;
    }
    if (fseeko(source.pFile, static_cast<off_t>(nPosition), SEEK_SET) != 0) {
        return false;
    }
    int nByte = fgetc(source.pFile);
    if (nByte == EOF) {
        return false;
    }
    *pbyOut = static_cast<unsigned char>(nByte);
    return true;
}

struct TLV {
    unsigned char byTag;
    uint64_t nLengthOctets;
    uint64_t nValueLength;
    uint64_t nValueOffset;
};

// One length field at nPosition; the value it announces must end at or
// before nLimit.
RESULT GetASN1ValueLengthEx(const Source& source, uint64_t nPosition, uint64_t nLimit, TLV* pTLV)
{
    unsigned char byFirst = 0;
    if (nPosition >= nLimit || !ReadByte(source, nPosition, &byFirst)) {
        return ASN1_DECODE_FAILED;
    }
    uint64_t nValueLength = byFirst;
    uint64_t nOctets = 1;
    if (byFirst == 0x80) {
        return ASN1_DECODE_FAILED;
    }
    if (byFirst > 0x80) {
        const uint64_t nFurther = byFirst & 0x7F;
        if (nFurther > kMaxLengthOctets || nFurther > nLimit - nPosition - 1) {
            return ASN1_DECODE_FAILED;
        }
        nValueLength = 0;
        for (uint64_t i = 1; i <= nFurther; ++i) {
            unsigned char byOctet = 0;
            if (!ReadByte(source, nPosition + i, &byOctet)) {
                return ASN1_DECODE_FAILED;
            }
            nValueLength = (nValueLength << 8) | byOctet;
        }
        nOctets = 1 + nFurther;
        // DER lengths are minimal; a tree decoded from any other form could
        // not be written back as it came in.
        if (nOctets != ASN1LengthOctetCount(nValueLength)) {
            return ASN1_DECODE_FAILED;
        }
    }
    // The tag octet before the length counts towards the size of the TLV.
    if (1 + nOctets + nValueLength > ASN1_MAX_DATA_SIZE) {
        return ASN1_E_DATA_SIZE;
    }
    const uint64_t nValueOffset = nPosition + nOctets;
    if (nValueLength > nLimit - nValueOffset) {
        return ASN1_DECODE_FAILED;
    }
    pTLV->nLengthOctets = nOctets;
    pTLV->nValueLength = nValueLength;
    pTLV->nValueOffset = nValueOffset;
    return 0;
}

// One tag and length at nPosition, the whole TLV ending at or before nLimit.
RESULT ParseASN1TLVEx(const Source& source, uint64_t nPosition, uint64_t nLimit, TLV* pTLV)
{
    if (nPosition >= nLimit || !ReadByte(source, nPosition, &pTLV->byTag)) {
        return ASN1_DECODE_FAILED;
    }
    return GetASN1ValueLengthEx(source, nPosition + 1, nLimit, pTLV);
}

NodeEx* NewDecodedNode(const Source& source, const TLV& tlv, NodeEx* pParent)
{
    NodeEx* pNode = new (std::nothrow) NodeEx(tlv.byTag);
    if (pNode == nullptr) {
        return nullptr;
    }
    pNode->file = source.pFile;
    pNode->data = source.pbyData;
    pNode->sourceSize = source.nSize;
    pNode->valueOffset = tlv.nValueOffset;
    pNode->lengthOctets = tlv.nLengthOctets;
    pNode->valueLength = tlv.nValueLength;
    // Written back out as it came in.
    pNode->currentLength = tlv.nValueLength;
    pNode->totalSize = 1 + tlv.nLengthOctets + tlv.nValueLength;
    pNode->parent = pParent;
    return pNode;
}

bool IsPrimitiveTag(unsigned char byTag)
{
    return byTag < 0x20 || (byTag >= 0x80 && byTag <= 0x8F);
}

RESULT ParseNodeEx(const Source& source, NodeEx* pNode, int* pnCounter)
{
    if (++*pnCounter > ASN1_MAX_DECODE_NODES) {
        return ASN1_DECODE_FAILED;
    }
    if (IsPrimitiveTag(pNode->tag)) {
        return 0;
    }
    const uint64_t nEnd = pNode->valueOffset + pNode->valueLength;
    uint64_t nConsumed = 0;
    while (nConsumed < pNode->valueLength) {
        TLV tlv = {};
        RESULT ulResult = ParseASN1TLVEx(source, pNode->valueOffset + nConsumed, nEnd, &tlv);
        if (ulResult != 0) {
            return ulResult;
        }
        NodeEx* pChild = NewDecodedNode(source, tlv, pNode);
        if (pChild == nullptr) {
            return CKR_HOST_MEMORY;
        }
        ulResult = ParseNodeEx(source, pChild, pnCounter);
        if (ulResult != 0) {
            delete pChild;
            return ulResult;
        }
        try {
            pNode->children.push_back(pChild);
        } catch (const std::bad_alloc&) {
            delete pChild;
            return CKR_HOST_MEMORY;
        }
        // At least 2: every pass moves forward, and never past nEnd.
        nConsumed += pChild->totalSize;
    }
    return 0;
}

RESULT DecodeRoot(const Source& source, NodeEx** ppRoot)
{
    TLV tlv = {};
    RESULT ulResult = ParseASN1TLVEx(source, 0, source.nSize, &tlv);
    if (ulResult != 0) {
        return ulResult;
    }
    NodeEx* pRoot = NewDecodedNode(source, tlv, nullptr);
    if (pRoot == nullptr) {
        return CKR_HOST_MEMORY;
    }
    *ppRoot = pRoot;
    int nCounter = 0;
    return ParseNodeEx(source, pRoot, &nCounter);
}

} // namespace

RESULT DecodeASN1MemoryEx(const unsigned char* pbyData, uint64_t nLength, NodeEx** ppRoot)
{
    if (pbyData == nullptr || ppRoot == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return DecodeRoot(Source{pbyData, nullptr, nLength}, ppRoot);
}

RESULT DecodeASN1FileEx(FILE* pFile, NodeEx** ppRoot)
{
    if (pFile == nullptr || ppRoot == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (fseeko(pFile, 0, SEEK_END) != 0) {
        return ASN1_DECODE_FAILED;
    }
    const off_t nSize = ftello(pFile);
    if (nSize < 0 || fseeko(pFile, 0, SEEK_SET) != 0) {
        return ASN1_DECODE_FAILED;
    }
    return DecodeRoot(Source{nullptr, pFile, static_cast<uint64_t>(nSize)}, ppRoot);
}
