// DER without the cryptographic library: a length encoder, a one-shot TLV
// encoder, and a tree of nodes (one per TLV) that DER from memory or a file
// is decoded into and that can be written back out.
//
// Decoded nodes copy nothing: they record where their value lies in the
// source buffer or file, which must outlive the tree. Nodes built in memory
// own their value bytes. A node owns its children; deleting the root
// releases the whole tree.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/token/ResultCodes.h"

// Any decoding failure: malformed, truncated or refused input.
constexpr RESULT ASN1_DECODE_FAILED = 0xFFFFFFFF;

// No encoding, and no TLV accepted by the decoder, may exceed this size.
constexpr uint64_t ASN1_MAX_DATA_SIZE = 0x3200000;
// A decode accepts at most this many nodes in all (which also bounds depth).
constexpr int ASN1_MAX_DECODE_NODES = 255;
// An encode with a node counter writes at most this many nodes.
constexpr int ASN1_MAX_ENCODE_NODES = 256;

class NodeEx {
public:
    NodeEx() = default;
    // A node built in memory; give it a value with SetValue or children
    // with AddChild.
    explicit NodeEx(unsigned char byTag);
    virtual ~NodeEx();

    NodeEx(const NodeEx&) = delete;
    NodeEx& operator=(const NodeEx&) = delete;

    // Copies the value into the node (built, childless nodes not yet added
    // to a parent). 0x57 for a null value with a length, for a node with
    // children or a parent; ASN1_E_DATA_SIZE above ASN1_MAX_DATA_SIZE;
    // CKR_HOST_MEMORY when the copy cannot be allocated.
    RESULT SetValue(const unsigned char* pbyValue, uint64_t nValueSize);

    // Appends the child and grows this node's lengths by the child's whole
    // encoding. Build bottom-up: the growth is not passed further up. A null
    // child, one that already has a parent, one that would close a cycle, or
    // any child of a node holding its own value is ignored (it stays the
    // caller's).
    void AddChild(NodeEx* pChild);

    // 1 + length octets + valueLength (saturates at INT32_MAX).
    int GetTotalRequiredSize() const;
    // 1 + length octets for valueLength + currentLength (saturates likewise).
    int GetCurrentRequiredLength() const;

    // The value bytes when they are in memory (owned or in the source
    // buffer); null for file-sourced nodes and nodes without a value.
    const unsigned char* GetValue() const;

    FILE* file = nullptr;
    const unsigned char* data = nullptr;
    uint64_t valueOffset = 0;
    unsigned char tag = 0;
    uint64_t lengthOctets = 1;
    uint64_t valueLength = 0;
    uint64_t currentLength = 0;
    unsigned char* ownedValue = nullptr;
    uint64_t totalSize = 2;
    // Size of the source (file or buffer); every decoded value lies inside.
    uint64_t sourceSize = 0;
    // Always 0 once decoded: the indefinite form is refused.
    uint16_t indefinite = 0;
    NodeEx* parent = nullptr;
    std::vector<NodeEx*> children;
};

// Number of DER length octets for nLength; with ppbyOut, also hands out a new
// array holding them. A negative length is written as its low byte. Returns 0
// only when the array cannot be allocated.
int EncodeASN1Length(int64_t nLength, unsigned char** ppbyOut);

// Hands out a new array holding tag, length octets and value.
// 0x57 for bad arguments or an encoding above 0x7FFFFFFE bytes.
RESULT ASN1Encode(unsigned char byTag, const unsigned char* pbyValue, int nLength,
                  unsigned char** ppbyOut, int* pnOutLength);

// Writes the node and its subtree. At the first call *ppbyBuffer is null and
// *pnOffset 0: the buffer is then allocated for the whole node and handed out
// on success (released by the caller with delete[]); on failure nothing is
// handed out. A given counter (0 at the first call) limits the nodes written
// to ASN1_MAX_ENCODE_NODES. Codes: 0x80000008 bad argument or inconsistent
// tree, ASN1_E_RECURSION, ASN1_E_DATA_SIZE, CKR_HOST_MEMORY.
RESULT EncodeASN1ToMemory(NodeEx* pNode, unsigned char** ppbyBuffer, int* pnOffset,
                          int* pnCounter);

// Decode the TLV at the start of the input and everything nested in it;
// bytes after it are ignored. On ASN1_DECODE_FAILED or ASN1_E_DATA_SIZE below
// the root the root is still handed out (with the children parsed so far)
// and the caller deletes it as on success. 0x57 for null arguments.
RESULT DecodeASN1MemoryEx(const unsigned char* pbyData, uint64_t nLength, NodeEx** ppRoot);
// The same from the start of a file; values stay in the file.
RESULT DecodeASN1FileEx(FILE* pFile, NodeEx** ppRoot);

// Kept for callers that dump trees while debugging; writes nothing.
void PrintNodeEx(const NodeEx* pNode);
