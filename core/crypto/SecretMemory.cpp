#include "core/crypto/SecretMemory.h"

#include <cstring>
#include <new>

#include <openssl/crypto.h>

void CipherSecureZero(void* pData, size_t nLen)
{
    if (pData != nullptr && nLen != 0) {
        OPENSSL_cleanse(pData, nLen);
    }
}

bool CipherConstantTimeEqual(const void* pLeft, const void* pRight, size_t nLen)
{
    if (nLen == 0) {
        return true;
    }
    if (pLeft == nullptr || pRight == nullptr) {
        return false;
    }
    return CRYPTO_memcmp(pLeft, pRight, nLen) == 0;
}

bool SecretText::Assign(const char* pszText, size_t nLen)
{
    Clear();
    char* pszBlock = new (std::nothrow) char[nLen + 1];
    if (pszBlock == nullptr) {
        return false;
    }
    if (nLen != 0) {
        memcpy(pszBlock, pszText, nLen);
    }
    pszBlock[nLen] = '\0';
    m_pszText = pszBlock;
    m_nLen = nLen;
    return true;
}

void SecretText::Adopt(char* pszBlock)
{
    Clear();
    m_pszText = pszBlock;
    m_nLen = pszBlock != nullptr ? strlen(pszBlock) : 0;
}

void SecretText::Clear()
{
    if (m_pszText != nullptr) {
        CipherSecureZero(m_pszText, m_nLen + 1);
        delete[] m_pszText;
        m_pszText = nullptr;
    }
    m_nLen = 0;
}

char* SecretText::Release()
{
    char* pszBlock = m_pszText;
    m_pszText = nullptr;
    m_nLen = 0;
    return pszBlock;
}
