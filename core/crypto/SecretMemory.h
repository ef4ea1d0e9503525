// Wiping and comparing secret bytes, and a text block that wipes itself.
// Core code outside core/crypto reaches the library's cleanse and constant
// time compare only through these.
#pragma once

#include <cstddef>

// Overwrites nLen bytes with zeros in a way the compiler cannot drop.
// A null pointer or a length of 0 does nothing.
void CipherSecureZero(void* pData, size_t nLen);

// True when the two ranges of nLen bytes are equal; the time taken does not
// depend on where they differ.
bool CipherConstantTimeEqual(const void* pLeft, const void* pRight, size_t nLen);

// A NUL-terminated secret text (PIN, pass string, token info string) in an
// array-new block, wiped before it is released.
class SecretText {
public:
    SecretText() = default;
    ~SecretText() { Clear(); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    // Copies nLen bytes and a terminator; false when out of memory (the old
    // text is then already gone).
    bool Assign(const char* pszText, size_t nLen);
    // Takes over an array-new block holding a NUL-terminated text.
    void Adopt(char* pszBlock);
    // Wipes and releases the text.
    void Clear();
    // Hands the block out (the receiver wipes and releases it).
    char* Release();

    const char* Get() const { return m_pszText; }
    size_t Length() const { return m_nLen; }
    bool Empty() const { return m_pszText == nullptr; }

private:
    char* m_pszText = nullptr;
    size_t m_nLen = 0;
};
