// HashHandle: a running digest with its algorithm, result buffer and
// finished flag, over the digest functions of Cipher.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

class HashHandle {
public:
    HashHandle() = default;
    // Releases the result buffer and the digest context.
    virtual ~HashHandle();
    HashHandle(const HashHandle&) = delete;
    HashHandle& operator=(const HashHandle&) = delete;

    // Starts a digest of ulAlgId (MD5, SHA-1, MD5-and-SHA-1, SHA-256,
    // SHA-512, SM3). For CALG_SM3 with bUseZ the digest starts with the Z
    // value of the SM2 public key X || Y (32 bytes each). A running digest
    // is dropped first.
    RESULT Init(uint32_t ulAlgId, const uint8_t* pbyPubKeyX = nullptr,
                const uint8_t* pbyPubKeyY = nullptr, bool bUseZ = false);
    // Feeds data; a length of 0 is accepted. Refused once finished.
    RESULT Update(const uint8_t* pbyData, long nDataLen);
    // Finishes the digest into m_pbyHashData (nHashLen bytes).
    RESULT Final();
    // Takes nHashLen bytes as the finished digest.
    RESULT SetData(const uint8_t* pbyHashData);
    // Makes pOther a copy of this object: algorithm, length, state, result
    // and the running digest, which then continues independently. pOther is
    // left unchanged on failure.
    RESULT Duplicate(HashHandle* pOther);
    // Releases a digest context of this object's algorithm; releasing the
    // object's own context clears m_pHashCtx.
    RESULT DestroyContext(void* pHashCtx);
    // Copies this running digest into pOther's context of the same
    // algorithm.
    RESULT DuplicateContext(HashHandle* pOther);

    // One-shot digest of pbyData into a new block of *pnHashLen bytes.
    static RESULT HashData(uint32_t ulAlgId, const uint8_t* pbyPubKeyX, const uint8_t* pbyPubKeyY,
                           bool bUseZ, const uint8_t* pbyData, long nDataLen,
                           uint8_t** ppbyHashData, int* pnHashLen);

    // Digest length in bytes of a supported id, 0 for any other.
    static int HashLength(uint32_t ulAlgId);

    void* m_pHashCtx = nullptr;
    uint32_t m_ulAlgId = 0;
    int nHashLen = 0;
    uint8_t* m_pbyHashData = nullptr;
    bool m_bFinal = false;
};
