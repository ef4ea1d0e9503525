#include "core/encoding/Base64.h"

#include <climits>
#include <cstring>
#include <new>

#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kGroupsPerLine = 19;  // 76 characters from 57 bytes
constexpr int kBytesPerLine = kGroupsPerLine * 3;

// 6-bit value of an alphabet character, -1 for every other byte.
int DecodeChar(unsigned char byChar)
{
    if (byChar >= 'A' && byChar <= 'Z') return byChar - 'A';
    if (byChar >= 'a' && byChar <= 'z') return byChar - 'a' + 26;
    if (byChar >= '0' && byChar <= '9') return byChar - '0' + 52;
    if (byChar == '+') return 62;
    if (byChar == '/') return 63;
    return -1;
}

// Appends characters to a buffer of fixed capacity; a write past it only
// marks the writer failed.
class BoundedWriter {
public:
    BoundedWriter(char* pszDest, int64_t nCapacity) : m_pszDest(pszDest), m_nCapacity(nCapacity) {}
    void Put(char chValue)
    {
        if (m_nCount >= m_nCapacity) {
            m_bOverrun = true;
            return;
        }
        m_pszDest[m_nCount++] = chValue;
    }
    void PutGroup(uint32_t nValue, int nChars)
    {
        for (int i = 0; i < nChars; ++i) {
            Put(kAlphabet[(nValue >> (18 - 6 * i)) & 0x3F]);
        }
    }
    // Withdrawn characters are zeroed so the text always ends at its count.
    void Withdraw(int64_t nChars)
    {
        for (; nChars > 0 && m_nCount > 0; --nChars) {
            m_pszDest[--m_nCount] = '\0';
        }
    }
    int64_t Count() const { return m_nCount; }
    bool Overrun() const { return m_bOverrun; }

private:
    char* m_pszDest;
    int64_t m_nCapacity;
    int64_t m_nCount = 0;
    bool m_bOverrun = false;
};

bool Base64Encode(const unsigned char* pbySrc, int nSrcLen, char* pszDest, int* pnDestLen, int nFlags)
{
    if (pbySrc == nullptr || pszDest == nullptr || pnDestLen == nullptr || nSrcLen < 0) {
        return false;
    }
    if (*pnDestLen < Base64EncodeGetRequiredLength(nSrcLen, nFlags)) {
        return false;
    }
    const bool bLineBreaks = (nFlags & BASE64_FLAG_NOCRLF) == 0;
    BoundedWriter writer(pszDest, *pnDestLen);
    const int nGroups = nSrcLen / 3;
    const int nSlots = nSrcLen / kBytesPerLine + 1;
    const unsigned char* pbyRead = pbySrc;
    for (int nSlot = 0; nSlot < nSlots; ++nSlot) {
        int nSlotGroups = nSlot < nSlots - 1 ? kGroupsPerLine : nGroups % kGroupsPerLine;
        for (int g = 0; g < nSlotGroups; ++g) {
            uint32_t nValue = (uint32_t(pbyRead[0]) << 16) | (uint32_t(pbyRead[1]) << 8) | pbyRead[2];
            pbyRead += 3;
            writer.PutGroup(nValue, 4);
        }
        if (bLineBreaks) {
            writer.Put('\r');
            writer.Put('\n');
        }
    }
    if (bLineBreaks && writer.Count() != 0) {
        writer.Withdraw(2);
    }
    int nRest = nSrcLen % 3;
    if (nRest != 0) {
        uint32_t nValue = uint32_t(pbyRead[0]) << 16;
        if (nRest == 2) {
            nValue |= uint32_t(pbyRead[1]) << 8;
        }
        writer.PutGroup(nValue, nRest + 1);
        if ((nFlags & BASE64_FLAG_NOPAD) == 0) {
            for (int i = nRest; i < 3; ++i) {
                writer.Put('=');
            }
        }
    }
    if (writer.Overrun()) {
        return false;
    }
    *pnDestLen = static_cast<int>(writer.Count());
    return true;
}

// Also a length query: with no destination or too little room the bytes
// are counted, not stored, and the result is false.
bool Base64Decode(const char* pszSrc, int nSrcLen, unsigned char* pbyDest, int* pnDestLen)
{
    if (pszSrc == nullptr || pnDestLen == nullptr) {
        return false;
    }
    const int64_t nCapacity = *pnDestLen > 0 ? *pnDestLen : 0;
    bool bOverflow = pbyDest == nullptr;
    int64_t nWritten = 0;
    const unsigned char* pbyRead = reinterpret_cast<const unsigned char*>(pszSrc);
    const unsigned char* pbyEnd = pbyRead + (nSrcLen > 0 ? nSrcLen : 0);
    while (pbyRead < pbyEnd && *pbyRead != 0) {
        uint32_t nBits = 0;
        int nChars = 0;
        while (nChars < 4 && pbyRead < pbyEnd) {
            int nValue = DecodeChar(*pbyRead++);
            if (nValue < 0) {
                continue;
            }
            nBits = (nBits << 6) | static_cast<uint32_t>(nValue);
            ++nChars;
        }
        int nBytes = nChars * 6 / 8;
        if (nWritten + nBytes > nCapacity) {
            bOverflow = true;
        }
        if (!bOverflow) {
            for (int i = 0; i < nBytes; ++i) {
                pbyDest[nWritten + i] = static_cast<unsigned char>(nBits >> (nChars * 6 - 8 * (i + 1)));
            }
        }
        nWritten += nBytes;
    }
    *pnDestLen = nWritten > INT_MAX ? INT_MAX : static_cast<int>(nWritten);
    return !bOverflow;
}

}  // namespace

int64_t Base64EncodeGetRequiredLength(int nSrcLen, int nFlags)
{
    if (nSrcLen < 0) {
        return -1;
    }
    int64_t nRequired = static_cast<int64_t>(nSrcLen) * 4 / 3;
    if ((nFlags & BASE64_FLAG_NOPAD) == 0) {
        nRequired += nSrcLen % 3;
    }
    int64_t nLines = nRequired / 76;
    int64_t nLineRest = nRequired % 76;
    if (nLineRest != 0 && nLineRest % 4 != 0) {
        nRequired += 4 - nLineRest % 4;
    }
    if ((nFlags & BASE64_FLAG_NOCRLF) == 0) {
        nRequired += 2 * (nLines + 1);
    }
    return nRequired;
}

RESULT Base64EncodeEx(const unsigned char* pbyData, int nDataLen, unsigned char** ppbyOut, int& nOutLen,
                      int nFlags)
{
    const char* pszFunction = "Base64EncodeEx";
    if (ppbyOut == nullptr) {
        TraceStepFailed(pszFunction, "Check ppbyOut", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    // The text and its terminator must be countable in an int.
    int64_t nRequired = Base64EncodeGetRequiredLength(nDataLen, nFlags);
    if (nRequired < 0 || nRequired >= INT_MAX) {
        TraceStepFailed(pszFunction, "Check buffer size", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    TraceStepSuccess(pszFunction, "Check buffer size");
    if (pbyData == nullptr) {
        TraceStepFailed(pszFunction, "Base64Encode", E_FAIL);
        return E_FAIL;
    }
    unsigned char* pbyText = new (std::nothrow) unsigned char[nRequired + 1]();
    if (pbyText == nullptr) {
        TraceStepFailed(pszFunction, "New buffer", E_FAIL);
        return E_FAIL;
    }
    TraceStepSuccess(pszFunction, "New buffer");
    int nLength = static_cast<int>(nRequired);
    if (!Base64Encode(pbyData, nDataLen, reinterpret_cast<char*>(pbyText), &nLength, nFlags)) {
        delete[] pbyText;
        TraceStepFailed(pszFunction, "Base64Encode", E_FAIL);
        return E_FAIL;
    }
    TraceStepSuccess(pszFunction, "Base64Encode");
    TRACE(QYRA_LOG_INFO, "Base64 Encoded data length:%d", nLength);
    *ppbyOut = pbyText;
    nOutLen = nLength;
    return 0;
}

RESULT Base64DecodeEx(const unsigned char* pbyText, int nTextLen, unsigned char** ppbyOut, int& nOutLen)
{
    const char* pszFunction = "Base64DecodeEx";
    if (ppbyOut == nullptr) {
        TraceStepFailed(pszFunction, "Check ppbyOut", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (nTextLen <= 0) {
        TraceStepFailed(pszFunction, "Base64DecodeGetRequiredLength", E_FAIL);
        return E_FAIL;
    }
    TraceStepSuccess(pszFunction, "Base64DecodeGetRequiredLength");
    if (pbyText == nullptr) {
        TraceStepFailed(pszFunction, "Base64Decode", E_FAIL);
        return E_FAIL;
    }
    // Four characters give at most three bytes, so the text's own length is
    // always room enough.
    unsigned char* pbyData = new (std::nothrow) unsigned char[nTextLen]();
    if (pbyData == nullptr) {
        TraceStepFailed(pszFunction, "New buffer", E_FAIL);
        return E_FAIL;
    }
    TraceStepSuccess(pszFunction, "New buffer");
    int nLength = nTextLen;
    if (!Base64Decode(reinterpret_cast<const char*>(pbyText), nTextLen, pbyData, &nLength)) {
        delete[] pbyData;
        TraceStepFailed(pszFunction, "Base64Decode", E_FAIL);
        return E_FAIL;
    }
    TraceStepSuccess(pszFunction, "Base64Decode");
    TRACE(QYRA_LOG_INFO, "Base64 Decoded data length:%d", nLength);
    *ppbyOut = pbyData;
    nOutLen = nLength;
    return 0;
}
