// Owners for library handles used inside Cipher functions. Internal to
// core/crypto.
#pragma once

#include <memory>

#include <openssl/evp.h>

struct CipherMdFree {
    void operator()(EVP_MD* p) const { EVP_MD_free(p); }
};
struct CipherMdCtxFree {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct CipherEvpCipherFree {
    void operator()(EVP_CIPHER* p) const { EVP_CIPHER_free(p); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
};

using CipherMdPtr = std::unique_ptr<EVP_MD, CipherMdFree>;
using CipherMdCtxPtr = std::unique_ptr<EVP_MD_CTX, CipherMdCtxFree>;
using CipherEvpCipherPtr = std::unique_ptr<EVP_CIPHER, CipherEvpCipherFree>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

// Fetches a digest by name from the private library context.
CipherMdPtr CipherFetchMd(const char* pszName);
