#include "pinprompt/PinText.h"

#include <cstring>

PinText::~PinText() { Clear(); }

void PinText::Clear()
{
    explicit_bzero(m_szText, sizeof(m_szText));
    m_nSize = 0;
}

void PinText::Append(const void* pbyData, size_t nDataSize)
{
    // One byte stays free for the terminator.
    if (m_nSize < kCapacity - 1) {
        size_t nKept = kCapacity - 1 - m_nSize;
        if (nKept > nDataSize) {
            nKept = nDataSize;
        }
        std::memcpy(m_szText + m_nSize, pbyData, nKept);
    }
    m_nSize += nDataSize;
}

bool PinText::HasNul() const
{
    size_t nKept = m_nSize < kCapacity - 1 ? m_nSize : kCapacity - 1;
    return std::memchr(m_szText, '\0', nKept) != nullptr;
}
