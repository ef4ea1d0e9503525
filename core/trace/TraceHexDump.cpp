#include "core/trace/TraceHexDump.h"

#include <cstdio>

namespace {
constexpr size_t kBytesPerLine = 16;
}

std::string FormatHexDump(const unsigned char* pbyData, size_t nLength)
{
    std::string strDump = "hex_buf_len=[" + std::to_string(nLength) + "]";
    strDump.reserve(strDump.size() + (nLength / kBytesPerLine + 1) * 80);
    char szCell[24];
    for (size_t nOffset = 0; nOffset < nLength; nOffset += kBytesPerLine) {
        snprintf(szCell, sizeof(szCell), "\n%08zX  ", nOffset);
        strDump += szCell;
        std::string strText;
        for (size_t i = 0; i < kBytesPerLine; ++i) {
            if (nOffset + i < nLength) {
                unsigned char by = pbyData[nOffset + i];
                snprintf(szCell, sizeof(szCell), "%02X ", by);
                strDump += szCell;
                strText += (by >= 0x20 && by < 0x7F) ? static_cast<char>(by) : '.';
            } else {
                strDump += "   ";
            }
        }
        strDump += ' ';
        strDump += strText;
    }
    return strDump;
}
