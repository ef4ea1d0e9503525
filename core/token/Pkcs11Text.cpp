#include "core/token/Pkcs11Text.h"

#include <cstring>

bool SetPkcs11UTF8Char(unsigned char* pbyField, int nWidth, const char* pszText)
{
    if (pbyField == nullptr || nWidth <= 0 || pszText == nullptr) {
        return false;
    }
    const size_t nLen = strlen(pszText);
    if (nLen > static_cast<size_t>(nWidth)) {
        return false;
    }
    memset(pbyField, ' ', static_cast<size_t>(nWidth));
    memcpy(pbyField, pszText, nLen);
    return true;
}
