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
    // Keys are PKCS#1 DER (RSAPrivateKey / RSAPublicKey); components are
    // unsigned big-endian bytes without leading zeros. A public exponent given
    // as int is read as its unsigned 32-bit value.
    static RESULT GenerateRSAKeyPair(int nBits, int nPublicExponent,
                                     unsigned char** ppbyPrivateKey, int* pnPrivateKeySize,
                                     unsigned char** ppbyPublicKey, int* pnPublicKeySize);
    // nDataType 1 gives n, 2 gives e.
    static RESULT GetRSAPublicKeyParameter(const unsigned char* pbyPublicKey, int nPublicKeySize,
                                           int nDataType, unsigned char** ppbyData, int* pnDataSize);
    // A null out pointer skips that component.
    static RESULT GetRSAPrivateKeyParameter(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                                            unsigned char** ppbyN, int* pnNSize,
                                            unsigned char** ppbyE, int* pnESize,
                                            unsigned char** ppbyP, int* pnPSize,
                                            unsigned char** ppbyQ, int* pnQSize,
                                            unsigned char** ppbyDmp1, int* pnDmp1Size,
                                            unsigned char** ppbyDmq1, int* pnDmq1Size,
                                            unsigned char** ppbyIqmp, int* pnIqmpSize,
                                            unsigned char** ppbyD, int* pnDSize);
    static RESULT ConstructRSAPublicKeyData(const unsigned char* pbyN, int nNSize, int nPublicExponent,
                                            unsigned char** ppbyPublicKey, int* pnPublicKeySize);
    static RESULT ConstructRSAPublicKeyData(const unsigned char* pbyN, int nNSize,
                                            const unsigned char* pbyE, int nESize,
                                            unsigned char** ppbyPublicKey, int* pnPublicKeySize);
    static RESULT ConstructRSAPrivateKeyData(const unsigned char* pbyN, int nNSize,
                                             const unsigned char* pbyE, int nESize,
                                             const unsigned char* pbyP, int nPSize,
                                             const unsigned char* pbyQ, int nQSize,
                                             const unsigned char* pbyDmp1, int nDmp1Size,
                                             const unsigned char* pbyDmq1, int nDmq1Size,
                                             const unsigned char* pbyIqmp, int nIqmpSize,
                                             const unsigned char* pbyD, int nDSize,
                                             unsigned char** ppbyPrivateKey, int* pnPrivateKeySize);
    static RESULT GetRSAPublicKeyLength(const unsigned char* pbyPublicKey, int nPublicKeySize,
                                        int* pnModulusSize);

    // PKCS#1 v1.5 over a finished digest of uAlgID (DigestInfo, or the bare
    // 36 bytes for CALG_SSL3_SHAMD5). *pnSignatureSize: capacity in, length out.
    static RESULT RSASignHash(const unsigned char* pbyPrivateKey, int nPrivateKeySize, uint32_t uAlgID,
                              const unsigned char* pbyHashData, int nHashSize,
                              unsigned char* pbySignature, int* pnSignatureSize);
    static RESULT RSAVerifySignature(const unsigned char* pbyPublicKey, int nPublicKeySize, uint32_t uAlgID,
                                     const unsigned char* pbyHashData, int nHashSize,
                                     const unsigned char* pbySignature, int nSignatureSize);
    static RESULT RSAVerifySignature(const unsigned char* pbyN, int nNSize,
                                     const unsigned char* pbyE, int nESize, uint32_t uAlgID,
                                     const unsigned char* pbyHashData, int nHashSize,
                                     const unsigned char* pbySignature, int nSignatureSize);

    // nPaddingType: 1 PKCS#1 v1.5, 2 SSLv2 rollback marker, 3 none, 4 OAEP
    // with SHA-1; passed to the library unchanged.
    static RESULT RSAEncrypt(const unsigned char* pbyPublicKey, int nPublicKeySize,
                             const unsigned char* pbyPlainData, int nPlainDataSize,
                             unsigned char** ppbyEncryptedData, int* pnEncryptedDataSize, int nPaddingType);
    static RESULT RSAEncrypt(const unsigned char* pbyN, int nNSize, const unsigned char* pbyE, int nESize,
                             const unsigned char* pbyPlainData, int nPlainDataSize,
                             unsigned char** ppbyEncryptedData, int* pnEncryptedDataSize, int nPaddingType);
    static RESULT RSADecrypt(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                             const unsigned char* pbyEncryptedData, int nEncryptedDataSize,
                             unsigned char** ppbyPlainData, int* pnPlainDataSize, int nPaddingType);

    // ---- SM2 ---------------------------------------------------------------
    // Private key d: 32 bytes; public key X || Y: 64 bytes; signature r || s:
    // 64 bytes; ciphertext C1 (x1 || y1) || C3 || C2. All big-endian, fixed
    // width, left-padded with zeros.
    static RESULT GenerateSM2KeyPair(unsigned char** ppbyPrivateKey, int* pnPrivateKeySize,
                                     unsigned char** ppbyPublicKeyXY, int* pnPublicKeyXYSize);
    // Signs the 32-byte e as given (no further hashing) into a 64-byte buffer.
    static RESULT SM2SignHash(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                              const unsigned char* pbyRawHashData, int nRawHashSize,
                              unsigned char* pbySM2RawSignatureRS, int* pnSM2RawSignatureRSSize);
    // bUsePublicKey must be true: there is no key to verify against otherwise.
    static RESULT SM2VerifySignature(const unsigned char* pbyRawHashData, int nRawHashSize,
                                     const unsigned char* pbyPublicKeyXY, int nPublicKeyXYSize,
                                     const unsigned char* pbyRawSignatureRS, int nRawSignatureRSSize,
                                     bool bUsePublicKey);
    static RESULT SM2Encrypt(const unsigned char* pbyPlainData, int nPlainDataSize,
                             const unsigned char* pbyPubKeyX, int nPubKeyXSize,
                             const unsigned char* pbyPubKeyY, int nPubKeyYSize,
                             unsigned char** ppbyEncryptedData, int* pnEncryptedDataSize);
    // Takes C1 || C3 || C2, and also C1 || C2 || C3.
    static RESULT SM2Decrypt(const unsigned char* pbyEncryptedData, int nEncryptedDataSize,
                             const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                             unsigned char** ppbyPlainData, int* pnPlainDataSize);

    // ---- certificates ------------------------------------------------------
};
