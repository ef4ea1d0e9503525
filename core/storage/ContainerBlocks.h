// The texts and blobs a Container owns: replacing, copying and releasing
// them.  Internal to the container's own files.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#include "core/token/Records.h"

inline void ReleaseBlob(_CRYPTOAPI_BLOB& stBlob)
{
    delete[] stBlob.pbData;
    stBlob.pbData = nullptr;
    stBlob.cbData = 0;
}

inline void ReleaseText(char*& pszText)
{
    delete[] pszText;
    pszText = nullptr;
}

// The blob becomes a copy of nSize bytes (none for 0).  False when out of
// memory; the old content is then kept.
inline bool ReplaceBlob(_CRYPTOAPI_BLOB& stBlob, const unsigned char* pbyData, size_t nSize)
{
    uint8_t* pbyCopy = nullptr;
    if (nSize != 0) {
        pbyCopy = new (std::nothrow) uint8_t[nSize];
        if (pbyCopy == nullptr) {
            return false;
        }
        memcpy(pbyCopy, pbyData, nSize);
    }
    delete[] stBlob.pbData;
    stBlob.pbData = pbyCopy;
    stBlob.cbData = static_cast<uint32_t>(nSize);
    return true;
}

// The text becomes nSize bytes followed by a NUL (null for 0), so a value
// without its own terminator still reads as a text.
inline bool ReplaceText(char*& pszText, const unsigned char* pbyData, size_t nSize)
{
    char* pszCopy = nullptr;
    if (nSize != 0) {
        pszCopy = new (std::nothrow) char[nSize + 1]();
        if (pszCopy == nullptr) {
            return false;
        }
        memcpy(pszCopy, pbyData, nSize);
    }
    delete[] pszText;
    pszText = pszCopy;
    return true;
}

// Length of an owned text; its block always ends in a NUL.
inline size_t TextLength(const char* pszText)
{
    return pszText == nullptr ? 0 : strlen(pszText);
}
