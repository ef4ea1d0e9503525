// Fixed-width PKCS#11 text fields: blank-padded, no terminator. The whole
// field is always written; a text longer than the field is cut to it.
#pragma once

#include <cstddef>
#include <cstring>

inline void SetPkcs11Text(unsigned char* pbyField, size_t nWidth, const char* pszText)
{
    memset(pbyField, ' ', nWidth);
    if (pszText == nullptr) {
        return;
    }
    size_t nLength = strnlen(pszText, nWidth);
    memcpy(pbyField, pszText, nLength);
}

template <size_t N>
void SetPkcs11Text(unsigned char (&byField)[N], const char* pszText)
{
    SetPkcs11Text(byField, N, pszText);
}
