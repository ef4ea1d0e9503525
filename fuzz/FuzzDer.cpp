// Arbitrary bytes through the DER decoder, from memory and from a file.
// Whatever decodes must form a tree that lies inside its input and must
// write back out exactly as it came in (only DER is accepted).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/encoding/NodeEx.h"

namespace {

void Check(bool bHolds)
{
    if (!bHolds) {
        abort();
    }
}

// Every node's encoding lies in [nBegin, nEnd) and its children tile its value.
void CheckNode(const NodeEx* pNode, uint64_t nBegin, uint64_t nEnd, uint64_t nSourceSize)
{
    Check(pNode->indefinite == 0);
    Check(pNode->sourceSize == nSourceSize);
    Check(pNode->totalSize == 1 + pNode->lengthOctets + pNode->valueLength);
    Check(pNode->valueOffset == nBegin + 1 + pNode->lengthOctets);
    Check(pNode->valueLength <= nEnd - pNode->valueOffset);
    Check(pNode->currentLength == pNode->valueLength);
    Check(pNode->ownedValue == nullptr);
    uint64_t nNext = pNode->valueOffset;
    for (const NodeEx* pChild : pNode->children) {
        Check(pChild->parent == pNode);
        CheckNode(pChild, nNext, pNode->valueOffset + pNode->valueLength, nSourceSize);
        nNext += pChild->totalSize;
    }
    Check(pNode->children.empty() || nNext == pNode->valueOffset + pNode->valueLength);
}

std::vector<unsigned char> EncodeTree(NodeEx* pRoot)
{
    unsigned char* pbyOut = nullptr;
    int nOffset = 0;
    int nCounter = 0;
    Check(EncodeASN1ToMemory(pRoot, &pbyOut, &nOffset, &nCounter) == 0);
    std::vector<unsigned char> out(pbyOut, pbyOut + nOffset);
    delete[] pbyOut;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbyData, size_t nSize)
{
    NodeEx* pRoot = nullptr;
    const RESULT ulMemory = DecodeASN1MemoryEx(pbyData, nSize, &pRoot);
    if (pbyData == nullptr) {
        Check(ulMemory == ERROR_INVALID_PARAMETER);
        return 0;
    }
    Check(ulMemory == 0 || ulMemory == ASN1_DECODE_FAILED || ulMemory == ASN1_E_DATA_SIZE);
    std::vector<unsigned char> fromMemory;
    if (ulMemory == 0) {
        Check(pRoot->data == pbyData && pRoot->parent == nullptr);
        CheckNode(pRoot, 0, nSize, nSize);
        fromMemory = EncodeTree(pRoot);
        Check(fromMemory.size() == pRoot->totalSize);
        Check(memcmp(fromMemory.data(), pbyData, fromMemory.size()) == 0);
    }
    delete pRoot;

    // The same bytes as a file give the same verdict and the same tree.
    if (nSize != 0) {
        std::vector<unsigned char> copy(pbyData, pbyData + nSize);
        FILE* pFile = fmemopen(copy.data(), copy.size(), "rb");
        Check(pFile != nullptr);
        NodeEx* pFileRoot = nullptr;
        Check(DecodeASN1FileEx(pFile, &pFileRoot) == ulMemory);
        if (ulMemory == 0) {
            CheckNode(pFileRoot, 0, nSize, nSize);
            Check(EncodeTree(pFileRoot) == fromMemory);
        }
        delete pFileRoot;
        fclose(pFile);
    }

    // Any bytes wrapped by the one-shot encoder decode to that one value.
    if (nSize > ASN1_MAX_DATA_SIZE - 6) {
        return 0;
    }
    unsigned char* pbyWrapped = nullptr;
    int nWrapped = 0;
    Check(ASN1Encode(0x04, pbyData, static_cast<int>(nSize), &pbyWrapped, &nWrapped) == 0);
    NodeEx* pWrapped = nullptr;
    Check(DecodeASN1MemoryEx(pbyWrapped, static_cast<uint64_t>(nWrapped), &pWrapped) == 0);
    Check(pWrapped->valueLength == nSize && pWrapped->children.empty());
    Check(nSize == 0 || memcmp(pWrapped->GetValue(), pbyData, nSize) == 0);
    delete pWrapped;
    delete[] pbyWrapped;
    return 0;
}
