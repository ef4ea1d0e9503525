// Cipher: the token core's single gateway to the cryptographic library.
// Static functions only; buffers handed out are array-new'd and released by
// the caller with array delete; on failure nothing is handed out.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

class Cipher {
public:
    Cipher() = delete;

    // ---- set-up -----------------------------------------------------------
    static RESULT CipherInitialize();
    static RESULT CipherUninitialize();

    // ---- digests, symmetric ciphers, SM4 sealing, random ------------------

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
