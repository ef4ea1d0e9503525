// Small helpers shared by the node tree tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/encoding/NodeEx.h"

using Bytes = std::vector<unsigned char>;
using NodePtr = std::unique_ptr<NodeEx>;

inline NodeEx* Leaf(unsigned char byTag, const Bytes& value)
{
    NodeEx* pNode = new NodeEx(byTag);
    pNode->SetValue(value.data(), value.size());
    return pNode;
}

inline NodeEx* Constructed(unsigned char byTag, std::initializer_list<NodeEx*> children)
{
    NodeEx* pNode = new NodeEx(byTag);
    for (NodeEx* pChild : children) {
        pNode->AddChild(pChild);
    }
    return pNode;
}

// Encodes through the public entry point with a node counter; empty on
// failure, with the code in *pulResult when given.
inline Bytes Encode(NodeEx* pNode, RESULT* pulResult = nullptr)
{
    unsigned char* pbyOut = nullptr;
    int nOffset = 0;
    int nCounter = 0;
    RESULT ulResult = EncodeASN1ToMemory(pNode, &pbyOut, &nOffset, &nCounter);
    if (pulResult != nullptr) {
        *pulResult = ulResult;
    }
    if (ulResult != 0) {
        return {};
    }
    Bytes out(pbyOut, pbyOut + nOffset);
    delete[] pbyOut;
    return out;
}

inline Bytes ValueOf(const NodeEx* pNode)
{
    const unsigned char* pbyValue = pNode->GetValue();
    return pbyValue == nullptr ? Bytes() : Bytes(pbyValue, pbyValue + pNode->valueLength);
}
