// Writing a node tree out as DER into one shared buffer.
#include <sys/types.h>

#include <climits>
#include <cstring>
#include <new>

#include "core/encoding/NodeEx.h"
#include "core/encoding/NodeExLength.h"
#include "core/trace/TraceStep.h"

namespace {

const char* const kFunction = "EncodeASN1ToMemory";

RESULT Fail(const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(kFunction, pszLabel, ulResult);
    return ulResult;
}

// Copies a childless node's value to pbyDest: exactly valueLength bytes, or
// a failure when the node cannot supply them.
RESULT WriteValue(const NodeEx* pNode, unsigned char* pbyDest)
{
    const uint64_t nLength = pNode->valueLength;
    if (pNode->ownedValue != nullptr && pNode->currentLength != 0) {
        if (pNode->currentLength != nLength) {
            return Fail("Check node length", E_FAIL);
        }
        memcpy(pbyDest, pNode->ownedValue, nLength);
        return 0;
    }
    if (nLength == 0) {
        return 0;
    }
    if (pNode->data == nullptr && pNode->file == nullptr) {
        return Fail("Check node length", E_FAIL);
    }
    // A decoded value lies inside its source; a node pointing elsewhere was
    // tampered with and must not make us read past the source.
    if (nLength > pNode->sourceSize || pNode->valueOffset > pNode->sourceSize - nLength) {
        return Fail("Check source range", E_FAIL);
    }
    if (pNode->data != nullptr) {
        memcpy(pbyDest, pNode->data + pNode->valueOffset, nLength);
        return 0;
    }
    if (pNode->valueOffset > static_cast<uint64_t>(LLONG_MAX) ||
        fseeko(pNode->file, static_cast<off_t>(pNode->valueOffset), SEEK_SET) != 0) {
        return Fail("fseeko", E_FAIL);
    }
    if (fread(pbyDest, 1, nLength, pNode->file) != nLength) {
        return Fail("fread", E_FAIL);
    }
    return 0;
}

// Writes pNode at *pnOffset; its whole encoding must end at or before nLimit.
RESULT WriteNode(const NodeEx* pNode, unsigned char* pbyBuffer, uint64_t nLimit, int* pnOffset,
                 int* pnCounter)
{
    if (pnCounter != nullptr) {
        if (*pnCounter >= ASN1_MAX_ENCODE_NODES) {
            return Fail("Check recursive count", ASN1_E_RECURSION);
        }
        ++*pnCounter;
    }
    const uint64_t nOffset = static_cast<uint64_t>(*pnOffset);
    const uint64_t nHeader = 1 + ASN1LengthOctetCount(pNode->valueLength);
    if (nOffset > nLimit || nHeader > nLimit - nOffset ||
        pNode->valueLength > nLimit - nOffset - nHeader) {
        return Fail("Check buffer size", E_FAIL);
    }
    pbyBuffer[nOffset] = pNode->tag;
    ASN1WriteLength(pNode->valueLength, pbyBuffer + nOffset + 1);
    const uint64_t nValueStart = nOffset + nHeader;
    const uint64_t nValueEnd = nValueStart + pNode->valueLength;
    *pnOffset = static_cast<int>(nValueStart);

    if (pNode->children.empty()) {
        RESULT ulResult = WriteValue(pNode, pbyBuffer + nValueStart);
        if (ulResult != 0) {
            return ulResult;
        }
        *pnOffset = static_cast<int>(nValueEnd);
        return 0;
    }
    for (const NodeEx* pChild : pNode->children) {
        RESULT ulResult = WriteNode(pChild, pbyBuffer, nValueEnd, pnOffset, pnCounter);
        if (ulResult != 0) {
            return Fail("EncodeASN1Memory", ulResult);
        }
    }
    if (static_cast<uint64_t>(*pnOffset) != nValueEnd) {
        return Fail("Check node length", E_FAIL);
    }
    return 0;
}

} // namespace

RESULT EncodeASN1ToMemory(NodeEx* pNode, unsigned char** ppbyBuffer, int* pnOffset,
                          int* pnCounter)
{
    if (pNode == nullptr || ppbyBuffer == nullptr || pnOffset == nullptr || *pnOffset < 0) {
        return Fail("Check parameter", E_FAIL);
    }
    if (*ppbyBuffer != nullptr) {
        // Continuing in a caller's buffer: it was sized for this node.
        uint64_t nLimit = static_cast<uint64_t>(*pnOffset) +
                          static_cast<uint64_t>(pNode->GetCurrentRequiredLength());
        if (nLimit > static_cast<uint64_t>(INT_MAX)) {
            nLimit = INT_MAX;
        }
        return WriteNode(pNode, *ppbyBuffer, nLimit, pnOffset, pnCounter);
    }
    if (*pnOffset != 0) {
        return Fail("Check parameter", E_FAIL);
    }
    if (pnCounter != nullptr && *pnCounter >= ASN1_MAX_ENCODE_NODES) {
        return Fail("Check recursive count", ASN1_E_RECURSION);
    }
    const uint64_t nHeader = 1 + ASN1LengthOctetCount(pNode->valueLength);
    if (pNode->currentLength > ASN1_MAX_DATA_SIZE ||
        nHeader + pNode->currentLength > ASN1_MAX_DATA_SIZE) {
        return Fail("Check ASN.1 data size", ASN1_E_DATA_SIZE);
    }
    const uint64_t nSize = nHeader + pNode->currentLength;
    unsigned char* pbyBuffer = new (std::nothrow) unsigned char[nSize]();
    if (pbyBuffer == nullptr) {
        return Fail("new buffer", CKR_HOST_MEMORY);
    }
    int nOffset = 0;
    RESULT ulResult = WriteNode(pNode, pbyBuffer, nSize, &nOffset, pnCounter);
    if (ulResult == 0 && static_cast<uint64_t>(nOffset) != nSize) {
        ulResult = Fail("Check node length", E_FAIL);
    }
    if (ulResult != 0) {
        delete[] pbyBuffer;
        return ulResult;
    }
    *ppbyBuffer = pbyBuffer;
    *pnOffset = nOffset;
    return 0;
}
