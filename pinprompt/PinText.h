// A typed PIN on its way from the dialog to the controller: a fixed buffer
// that is wiped whenever it is cleared and when it goes away.
#pragma once

#include <cstddef>

class PinText {
public:
    static constexpr size_t kCapacity = 128;

    PinText() = default;
    PinText(const PinText&) = delete;
    PinText& operator=(const PinText&) = delete;
    virtual ~PinText();

    void Clear();
    // Bytes beyond the capacity are counted but not kept, so an overlong
    // entry is seen as such without overflowing anything.
    void Append(const void* pbyData, size_t nDataSize);

    // Bytes received, possibly more than are kept.
    size_t Size() const { return m_nSize; }
    bool HasNul() const;
    const char* Data() const { return m_szText; }

private:
    char m_szText[kCapacity] = {};
    size_t m_nSize = 0;
};
