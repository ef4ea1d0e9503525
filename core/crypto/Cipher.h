// Cipher: the token core's single gateway to the cryptographic library.
// Static functions only; buffers handed out are array-new'd and released by
// the caller with array delete; on failure nothing is handed out.
#pragma once

#include <cstdint>

#include <openssl/types.h>

#include "core/token/ResultCodes.h"

class Cipher {
public:
    Cipher() = delete;

    // ---- set-up -----------------------------------------------------------
    static RESULT CipherInitialize();
    static RESULT CipherUninitialize();

    // ---- digests, symmetric ciphers, SM4 sealing, random ------------------
    // Input lengths are taken as long so that a 64-bit caller's count cannot
    // be narrowed on the way in; anything negative or above INT_MAX is
    // refused with 0x57 before it reaches the library's int arguments.

    // Digest contexts are opaque; every call after HashEvpInit takes the id
    // it was started with. X and Y are the 32-byte big-endian coordinates of
    // an SM2 public key, read only for CALG_SM3 with bUseZ set, which starts
    // the digest with the signer's Z value.
    // X_EVP_md hands out a new reference fetched from the private context
    // (release with EVP_MD_free); null for CALG_SSL3_SHAMD5 and unknown ids.
    static EVP_MD* X_EVP_md(uint32_t ulAlgId);
    static RESULT HashEvpInit(void** ppHashCtx, uint32_t ulAlgId, const uint8_t* pbyPubKeyX,
                              const uint8_t* pbyPubKeyY, bool bUseZ);
    static RESULT HashEvpUpdate(void* pHashCtx, uint32_t ulAlgId, const uint8_t* pbyData,
                                long nDataLen);
    static RESULT HashEvpFinal(void* pHashCtx, uint32_t ulAlgId, uint8_t** ppbyHashData,
                               int& nHashLen);
    static RESULT HashEvpDuplicate(void* pInHashCtx, void* pOutHashCtx, uint32_t ulAlgId);
    static RESULT HashEvpDestroy(void* pHashCtx, uint32_t ulAlgId);

    // Secret-key ciphers: DES, triple DES (three- and two-key) in modes
    // 1 CBC, 2 ECB, 3 OFB, 4 CFB-64, and RC4 (mode ignored). CBC and ECB pad
    // with PKCS#7. A null IV means an all-zero one. Update needs an output
    // buffer of nSourceDataLen + 8 bytes, Final one of 8.
    // EVPSymEnc hands out a new reference (release with EVP_CIPHER_free).
    static EVP_CIPHER* EVPSymEnc(uint32_t ulAlgId, int nMode);
    static RESULT SymEncryptInit(void** ppCipherCtx, uint32_t ulAlgId, int nMode,
                                 const uint8_t* pbyKey, const uint8_t* pbyIV);
    static RESULT SymDecryptInit(void** ppCipherCtx, uint32_t ulAlgId, int nMode,
                                 const uint8_t* pbyKey, const uint8_t* pbyIV);
    static RESULT SymEncryptUpdate(void* pCipherCtx, const uint8_t* pbySourceData,
                                   long nSourceDataLen, uint8_t* pbyOutData, int& nOutDataLen);
    static RESULT SymDecryptUpdate(void* pCipherCtx, const uint8_t* pbySourceData,
                                   long nSourceDataLen, uint8_t* pbyOutData, int& nOutDataLen);
    static RESULT SymEncryptFinal(void* pCipherCtx, uint8_t* pbyOutData, int& nOutDataLen);
    static RESULT SymDecryptFinal(void* pCipherCtx, uint8_t* pbyOutData, int& nOutDataLen);
    static RESULT SymEvpDestroy(void* pCipherCtx);
    // Key and IV for the cipher of (id, mode) by EVP_BytesToKey (MD5, no
    // salt, one round). Hands out both blocks with their lengths; the IV is
    // null with length 0 for a cipher that takes none.
    static RESULT GenerateSYMKey(uint32_t ulAlgId, int nMode, const uint8_t* pbyData,
                                 long nDataLen, uint8_t** ppbyKey, int* pnKeyLen,
                                 uint8_t** ppbyIV, int* pnIVLen);

    // SM4-CBC with PKCS#7 padding; the 32-byte key block is IV (bytes 0-15)
    // then key (bytes 16-31). Encryption hands out 16 * (n / 16 + 1) bytes;
    // decryption hands out a buffer of n + 16 bytes holding the plain bytes,
    // whose count is returned.
    static RESULT SM4_Encrypt_CBC(const uint8_t* pbyData, long nDataLen,
                                  const uint8_t* pbyKeyBlock, int nKeyBlockLen,
                                  uint8_t** ppbyOutData, int* pnOutDataLen);
    static RESULT SM4_Decrypt_CBC(const uint8_t* pbyData, long nDataLen,
                                  const uint8_t* pbyKeyBlock, int nKeyBlockLen,
                                  uint8_t** ppbyOutData, int* pnOutDataLen);
    // Sealing under a PIN text: key block = SM3 counter-mode KDF of the PIN
    // bytes (without the terminator), then SM4-CBC as above.
    static RESULT SM4EncryptByPin(const uint8_t* pbyData, long nDataLen, const char* pszPIN,
                                  uint8_t** ppbyOutData, int* pnOutDataLen);
    static RESULT SM4DecryptByPin(const uint8_t* pbyData, long nDataLen, const char* pszPIN,
                                  uint8_t** ppbyOutData, int* pnOutDataLen);
    static RESULT SM4EncryptByPin(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyPIN,
                                  long nPINLen, uint8_t** ppbyOutData, int* pnOutDataLen);
    static RESULT SM4DecryptByPin(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyPIN,
                                  long nPINLen, uint8_t** ppbyOutData, int* pnOutDataLen);

    // Random bytes from the private context's generator; every failure is
    // 0x57.
    static RESULT GenRandomDataByTimeSeed(uint8_t* pbRandomData, long nRandomDataLen);
    static RESULT SetRandomSeed(const uint8_t* pbySeedData, long nSeedDataSize);
    static RESULT GetRandomData(uint8_t* pbRandomData, long nRandomDataLen);

    // ---- RSA ---------------------------------------------------------------

    // ---- SM2 ---------------------------------------------------------------

    // ---- certificates ------------------------------------------------------
};
